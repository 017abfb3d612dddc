#include "builder/build/HyperStr.h"

#include <QTest>

using namespace vellora;

class TestHyperStr : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lastPos_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("last of two") << "ab"
                                     << "abab" << 3;
        QTest::newRow("absent") << "ab"
                                << "ba" << 0;
        QTest::newRow("case-sensitive") << "AB"
                                        << "abab" << 0;
        QTest::newRow("whole text") << "abc"
                                    << "abc" << 1;
        QTest::newRow("needle longer than text") << "abcd"
                                                 << "abc" << 0;
        QTest::newRow("empty text") << "a"
                                    << "" << 0;
        QTest::newRow("overlapping") << "aa"
                                     << "aaaa" << 3;
        QTest::newRow("page lines") << "page="
                                    << "page=1 \r\npage=2 \r\npage=3 \r\n"
                                    << 19;
    }
    void lastPos()
    {
        QFETCH(QString, needle);
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(LastPos(needle, text), expected);
    }

    void searchFrom_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("expected");
        QTest::newRow("blank after number") << "page=12 x"
                                            << " " << 6 << 8;
        QTest::newRow("start past the end") << "xyz"
                                            << "z" << 4 << 0;
        QTest::newRow("start at 0") << "xyz"
                                    << "x" << 0 << 0;
        QTest::newRow("empty source") << ""
                                      << "x" << 1 << 0;
        QTest::newRow("empty pattern") << "xyz"
                                       << "" << 1 << 0;
        QTest::newRow("found at start") << "xyz"
                                        << "x" << 1 << 1;
        QTest::newRow("only after start") << "abcabc"
                                          << "abc" << 2 << 4;
        QTest::newRow("pattern runs past the end") << "abcab"
                                                   << "abc" << 4 << 0;
        QTest::newRow("leftmost of several") << "xxabxxabxxab"
                                             << "ab" << 4 << 7;
        QTest::newRow("mismatch after partial match") << "aabaabaab"
                                                      << "baab" << 1 << 3;
        QTest::newRow("repeated characters") << "aaaaaaab"
                                             << "aab" << 1 << 6;
        QTest::newRow("case-sensitive") << "ABCabc"
                                        << "abc" << 1 << 4;
        QTest::newRow("not present") << "hello world"
                                     << "worlds" << 1 << 0;
        QTest::newRow("characters sharing a low byte")
            << QStringLiteral("x\u0161ax") << QStringLiteral("ax") << 1 << 3;
        QTest::newRow("accented") << QStringLiteral("créér prospectus") << QStringLiteral("ér") << 1
                                  << 4;

        const QString pattern256 = QString(255, u'a') + u'b';
        const QString pattern257 = QString(256, u'a') + u'b';
        QTest::newRow("256-character pattern")
            << QString(300, u'a') + u'b' + u"tail" << pattern256 << 1 << 46;
        QTest::newRow("256-character pattern, not present")
            << QString(600, u'a') << pattern256 << 1 << 0;
        QTest::newRow("257-character pattern is refused")
            << QString(300, u'a') + u'b' << pattern257 << 1 << 0;
    }
    void searchFrom()
    {
        QFETCH(QString, source);
        QFETCH(QString, pattern);
        QFETCH(int, start);
        QFETCH(int, expected);
        QCOMPARE(SearchFrom(source, pattern, start), expected);
    }

    // Against a plain search: the skip table must never jump over the leftmost match.
    void searchFromAgreesWithPlainSearch()
    {
        const QString alphabet = QStringLiteral("ab\u0161c");
        quint32 seed = 12345;
        const auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) & 0x7FFF;
        };
        for (int round = 0; round < 3000; ++round) {
            QString source, pattern;
            for (int i = int(next() % 40); i > 0; --i)
                source += alphabet[next() % alphabet.size()];
            for (int i = 1 + int(next() % 5); i > 0; --i)
                pattern += alphabet[next() % alphabet.size()];
            const int start = 1 + int(next() % (source.size() + 1));
            int expected = 0;
            if (start <= source.size()) {
                const qsizetype found = source.indexOf(pattern, start - 1);
                expected = found < 0 ? 0 : int(found) + 1;
            }
            QVERIFY2(SearchFrom(source, pattern, start) == expected,
                     qPrintable(source + u" / " + pattern + u" / " + QString::number(start)));
        }
    }

    void textBetween_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("startMarker");
        QTest::addColumn<QString>("endMarker");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("positionAfter");
        const QString out = QStringLiteral("cmd\r\npage=1 w\r\npage=23 w\r\n");
        QTest::newRow("first number") << out << "page="
                                      << " " << 1 << "1" << 13;
        QTest::newRow("from the last page") << out << "page="
                                            << " " << 15 << "23" << 24;
        QTest::newRow("position 0") << out << "page="
                                    << " " << 0 << "" << 0;
        QTest::newRow("position negative") << out << "page="
                                           << " " << -1 << "" << 0;
        QTest::newRow("position at length") << out << "page="
                                            << " " << int(out.size()) << "" << 0;
        QTest::newRow("no end marker") << "x page=5"
                                       << "page="
                                       << " " << 1 << "" << 0;
        QTest::newRow("no start marker") << "x 5 "
                                         << "page="
                                         << " " << 1 << "" << 0;
        QTest::newRow("empty start marker") << out << ""
                                            << " " << 1 << "" << 0;
        QTest::newRow("empty end marker") << out << "page="
                                          << "" << 1 << "" << 0;
        QTest::newRow("empty between") << "a[]b"
                                       << "["
                                       << "]" << 1 << "" << 4;
        QTest::newRow("end marker on a later line") << "page=3\r\nsummary line"
                                                    << "page="
                                                    << " " << 1 << "3\r\nsummary" << 17;
    }
    void textBetween()
    {
        QFETCH(QString, source);
        QFETCH(QString, startMarker);
        QFETCH(QString, endMarker);
        QFETCH(int, position);
        QFETCH(QString, expected);
        QFETCH(int, positionAfter);
        QCOMPARE(TextBetween(source, startMarker, endMarker, position), expected);
        QCOMPARE(position, positionAfter);
    }
};

QTEST_GUILESS_MAIN(TestHyperStr)
#include "tst_hyperstr.moc"
