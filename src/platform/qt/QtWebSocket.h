#pragma once

#include "platform/WebSocket.h"

namespace zg {

// Client WebSockets on QWebSocket, for ws:// and wss:// URLs. A wss certificate is verified
// with Qt's defaults; a failed verification fails the connection like any other error.
// Created and used on the main thread, whose Qt event loop delivers every callback.
WebSocketFactory qtWebSocketFactory();

}  // namespace zg
