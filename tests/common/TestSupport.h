#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

namespace vellora::test {

// True when the suite runs in CI, where a missing dependency is a failure, not a skip.
inline bool underCi() { return qgetenv("CI") == "true"; }

// The project's source folder, for fixtures kept in the repository.
inline QString sourceDir() { return QString::fromLocal8Bit(qgetenv("VELLORA_SOURCE_DIR")); }
inline QString binaryDir() { return QString::fromLocal8Bit(qgetenv("VELLORA_BINARY_DIR")); }

} // namespace vellora::test

// Skips the test when something it needs is missing on this machine; fails it under CI.
#define VELLORA_REQUIRE(condition, what)                                                     \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            if (vellora::test::underCi())                                                    \
                QFAIL(qPrintable(QStringLiteral("missing dependency: ") + (what)));          \
            QSKIP(qPrintable(QStringLiteral("missing dependency: ") + (what)));              \
        }                                                                                    \
    } while (false)
