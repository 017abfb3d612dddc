#pragma once

#include <QByteArray>
#include <QFile>
#include <QSignalSpy>
#include <QString>
#include <QTest>

namespace vellora::test {

// True when the suite runs in CI, where a missing dependency is a failure, not a skip.
inline bool underCi()
{
    return qgetenv("CI") == "true";
}

// The project's source folder, for fixtures kept in the repository.
inline QString sourceDir()
{
    return QString::fromLocal8Bit(qgetenv("VELLORA_SOURCE_DIR"));
}
inline QString binaryDir()
{
    return QString::fromLocal8Bit(qgetenv("VELLORA_BINARY_DIR"));
}

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// Waits for `signal` of `sender`, which must not have come yet; false when it did not come in
// time.
template <typename Sender, typename Signal>
bool waitFor(Sender* sender, Signal signal, int timeoutMs = 60000)
{
    QSignalSpy spy(sender, signal);
    return spy.wait(timeoutMs);
}

// CTest's code for a test that could not run (SKIP_RETURN_CODE of the suites that use
// VELLORA_TEST_MAIN).
inline constexpr int kSkipReturnCode = 77;

// Set when a test was skipped for something missing on this machine.
inline bool& dependencyMissing()
{
    static bool missing = false;
    return missing;
}

// The suite's exit status: a suite that passed but skipped for a missing dependency did not
// run, and says so to CTest; a suite whose failures happen to number the skip code is not
// taken for skipped.
inline int suiteExitCode(int qtestResult)
{
    if (qtestResult == kSkipReturnCode)
        return kSkipReturnCode + 1;
    if (qtestResult == 0 && dependencyMissing())
        return kSkipReturnCode;
    return qtestResult;
}

} // namespace vellora::test

// Skips the test when something it needs is missing on this machine; fails it under CI.
#define VELLORA_REQUIRE(condition, what)                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            if (vellora::test::underCi())                                                          \
                QFAIL(qPrintable(QStringLiteral("missing dependency: ") + (what)));                \
            vellora::test::dependencyMissing() = true;                                             \
            QSKIP(qPrintable(QStringLiteral("missing dependency: ") + (what)));                    \
        }                                                                                          \
    } while (false)

// QTEST_MAIN and QTEST_GUILESS_MAIN for a suite that needs something outside the project
// (root, a print server, a tool): when it is missing, the suite exits with the skip code rather
// than passing. Its CTest test sets SKIP_RETURN_CODE to vellora::test::kSkipReturnCode.
#define VELLORA_TEST_MAIN(TestObject) VELLORA_TEST_MAIN_WITH(TestObject, QTEST_MAIN_SETUP())
#define VELLORA_TEST_GUILESS_MAIN(TestObject)                                                      \
    VELLORA_TEST_MAIN_WITH(TestObject, QTEST_QAPP_SETUP(QCoreApplication))
#define VELLORA_TEST_MAIN_WITH(TestObject, setup)                                                  \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        QTest::Internal::callInitMain<TestObject>();                                               \
        setup TestObject tc;                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return vellora::test::suiteExitCode(QTest::qExec(&tc, argc, argv));                        \
    }
