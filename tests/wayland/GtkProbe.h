#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

namespace zg::test {

// A full-screen GTK 4 window on the test desktop (gtk_probe.py): left half red, right half
// blue, and each input it receives as a line ("motion X Y", "pressed B X Y", "key c CONTROL",
// "char U+00E9"... the script lists them).
class GtkProbe {
public:
    GtkProbe() = default;
    ~GtkProbe();
    GtkProbe(const GtkProbe&) = delete;
    GtkProbe& operator=(const GtkProbe&) = delete;

    // Starts the window on the desktop whose environment is `env`.
    void start(const QProcessEnvironment& env);
    // Waits until it is full screen, at its final size and shown so: from then on input
    // arrives in screen coordinates.
    bool waitReady(double seconds = 20);
    // The first line from index `from` on for which `match` holds, once it has come; an empty
    // string if none comes within `seconds`.
    QString waitFor(const std::function<bool(const QString&)>& match, double seconds = 5,
                    qsizetype from = 0);
    const QStringList& lines() const { return lines_; }
    // What it printed on stderr.
    QString errors() const { return QString::fromLocal8Bit(errors_); }
    void stop();

private:
    QProcess process_;
    QStringList lines_;
    QByteArray partial_, errors_;
};

}  // namespace zg::test
