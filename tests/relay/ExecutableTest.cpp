#include <gtest/gtest.h>

#include <QProcess>

namespace zg::test {
namespace {

struct Outcome {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

Outcome run(const QStringList& arguments) {
    QProcess process;
    process.start(ZG_RELAY_BINARY, arguments);
    EXPECT_TRUE(process.waitForFinished(10'000));
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

TEST(RelayExecutableTest, HelpDescribesEveryOption) {
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--listen <HOST:PORT>", "--help", "0.0.0.0:8787,"})
        EXPECT_TRUE(help.out.contains(option)) << option;
}

TEST(RelayExecutableTest, BadCommandLinesExitWith2) {
    for (const QStringList& arguments :
         {QStringList{"--bogus"}, QStringList{"--listen", "1.2.3:80"},
          QStringList{"--listen", "::1:80"}, QStringList{"extra"}}) {
        const Outcome bad = run(arguments);
        EXPECT_EQ(bad.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(bad.err.startsWith("zephyrglint-relay: ")) << bad.err.toStdString();
    }
}

}  // namespace
}  // namespace zg::test
