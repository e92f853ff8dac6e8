#include "screenplacement.h"

#include <QWidget>
#include <QtTest>

using namespace ScreenPlacement;

class TestScreenPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void screenIndex_data();
    void screenIndex();
    void storedIndex_data();
    void storedIndex();
    void storedGeometry();
};

void TestScreenPlacement::screenIndex_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<QVector<QRect>>("screens");
    QTest::addColumn<int>("expected");

    const QVector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
    const QVector<QRect> withSideTaskBar = {QRect(0, 0, 1860, 1080), QRect(1920, 0, 1920, 1080)};
    QTest::newRow("two screens, normal window at 2000") << 2000 << false << two << 1;
    QTest::newRow("two screens, maximized frame at 1912") << 1912 << true << two << 1;
    QTest::newRow("two screens, normal window at 1912") << 1912 << false << two << 0;
    QTest::newRow("two screens, left edge") << 0 << false << two << 0;
    QTest::newRow("two screens, frame left of the first") << -8 << true << two << 0;
    QTest::newRow("two screens, last column of the first") << 1919 << false << two << 0;
    QTest::newRow("right of every screen") << 5000 << false << two << 1;
    QTest::newRow("task bar on the side") << 1870 << false << withSideTaskBar << 1;
    QTest::newRow("one screen") << 3000 << false << QVector<QRect>{QRect(0, 0, 1920, 1080)} << 0;
    QTest::newRow("no screen") << 100 << false << QVector<QRect>{} << 0;
}

void TestScreenPlacement::screenIndex()
{
    QFETCH(int, x);
    QFETCH(bool, maximized);
    QFETCH(QVector<QRect>, screens);
    QFETCH(int, expected);
    QCOMPARE(screenIndexAt(x, maximized, screens), expected);
}

void TestScreenPlacement::storedIndex_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("screenCount");
    QTest::addColumn<int>("primary");
    QTest::addColumn<int>("expected");
    QTest::newRow("existing second screen") << 1 << 2 << 0 << 1;
    QTest::newRow("screen gone") << 2 << 2 << 0 << 0;
    QTest::newRow("screen gone, primary second") << 5 << 2 << 1 << 1;
    QTest::newRow("negative") << -1 << 2 << 1 << 1;
    QTest::newRow("huge") << 2147483647 << 1 << 0 << 0;
}

void TestScreenPlacement::storedIndex()
{
    QFETCH(int, stored);
    QFETCH(int, screenCount);
    QFETCH(int, primary);
    QFETCH(int, expected);
    QCOMPARE(validScreenIndex(stored, screenCount, primary), expected);
}

void TestScreenPlacement::storedGeometry()
{
    QWidget widget;
    widget.setGeometry(100, 120, 986, 580);
    const QByteArray complete = widget.saveGeometry();
    QVERIFY(isCompleteGeometry(complete));
    for (int cut = 0; cut < complete.size(); ++cut)
        QVERIFY2(!isCompleteGeometry(complete.left(cut)), qPrintable(QString::number(cut)));
    QByteArray wrongMagic = complete;
    wrongMagic[0] = 0x02;
    QVERIFY(!isCompleteGeometry(wrongMagic));
    QByteArray newerFormat = complete;
    newerFormat[5] = 0x09; // a major version this program does not know
    QVERIFY(!isCompleteGeometry(newerFormat));
}

QTEST_MAIN(TestScreenPlacement)
#include "tst_screenplacement.moc"
