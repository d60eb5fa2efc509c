#include "GtkProbe.h"

#include <sys/prctl.h>

#include <csignal>

#include "Spin.h"

namespace zg::test {

GtkProbe::~GtkProbe() {
    stop();
}

void GtkProbe::start(const QProcessEnvironment& env) {
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
        partial_ += process_.readAllStandardOutput();
        qsizetype end;
        while ((end = partial_.indexOf('\n')) >= 0) {
            lines_.append(QString::fromUtf8(partial_.left(end)));
            partial_.remove(0, end + 1);
        }
    });
    QObject::connect(&process_, &QProcess::readyReadStandardError,
                     [this] { errors_ += process_.readAllStandardError(); });
    process_.setProcessEnvironment(env);
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.start("/usr/bin/python3", {QString(ZG_WAYLAND_SCRIPTS) + "/gtk_probe.py"});
}

bool GtkProbe::waitReady(double seconds) {
    return !waitFor([](const QString& line) { return line.startsWith("ready "); }, seconds)
                .isEmpty();
}

QString GtkProbe::waitFor(const std::function<bool(const QString&)>& match, double seconds,
                          qsizetype from) {
    QString found;
    spinUntil(
        [&] {
            for (qsizetype i = from; i < lines_.size() && found.isEmpty(); ++i)
                if (match(lines_[i])) found = lines_[i];
            return !found.isEmpty() || process_.state() == QProcess::NotRunning;
        },
        seconds);
    return found;
}

void GtkProbe::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill(), process_.waitForFinished();
}

}  // namespace zg::test
