#include "screenplacement.h"

#include <QWidget>
#include <QtTest>

using namespace ScreenPlacement;

class TestScreenPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The screen a window's left edge lies on; a maximized frame starts a few pixels left of its screen.
    void screenIndex()
    {
        const QVector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
        QCOMPARE(screenIndexAt(1919, false, two), 0);
        QCOMPARE(screenIndexAt(1912, true, two), 1);
        QCOMPARE(screenIndexAt(5000, false, two), 1);
        QCOMPARE(screenIndexAt(100, false, {}), 0);
    }

    void fitted_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QVector<QRect>>("screens");
        QTest::addColumn<int>("fallback");
        QTest::addColumn<QRect>("expected");
        const QVector<QRect> one = {QRect(0, 0, 1920, 1040)}; // task bar below
        const QVector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
        QTest::newRow("fits") << QRect(100, 100, 986, 580) << one << 0 << QRect(100, 100, 986, 580);
        QTest::newRow("across two screens")
            << QRect(1500, 90, 986, 580) << two << 0 << QRect(1500, 90, 986, 580);
        QTest::newRow("far larger") << QRect(0, 0, 20000, 12000) << one << 0 << QRect(0, 0, 1920, 1040);
        QTest::newRow("wider, height kept")
            << QRect(30, 40, 3000, 700) << one << 0 << QRect(0, 40, 1920, 700);
        QTest::newRow("over the task bar")
            << QRect(200, 500, 986, 580) << one << 0 << QRect(200, 460, 986, 580);
        QTest::newRow("mostly on the second")
            << QRect(1800, -50, 3000, 900) << two << 0 << QRect(1920, 0, 1920, 900);
        QTest::newRow("off every screen")
            << QRect(-9000, 70000, 986, 580) << two << 1 << QRect(1920, 500, 986, 580);
        QTest::newRow("no screen") << QRect(5, 5, 20000, 12000) << QVector<QRect>{} << 0
                                   << QRect(5, 5, 20000, 12000);
    }
    void fitted()
    {
        QFETCH(QRect, window);
        QFETCH(QVector<QRect>, screens);
        QFETCH(int, fallback);
        QFETCH(QRect, expected);
        QCOMPARE(fittedGeometry(window, screens, fallback), expected);
    }

    void storedGeometry()
    {
        QWidget widget;
        widget.setGeometry(100, 120, 986, 580);
        const QByteArray complete = widget.saveGeometry();
        QVERIFY(isUsableGeometry(complete));
        for (int cut = 0; cut < complete.size(); ++cut)
            QVERIFY2(!isUsableGeometry(complete.left(cut)), qPrintable(QString::number(cut)));
        QByteArray wrongMagic = complete;
        wrongMagic[0] = 0x02;
        QVERIFY(!isUsableGeometry(wrongMagic));
        QByteArray newerFormat = complete;
        newerFormat[5] = 0x09; // a major version this program does not know
        QVERIFY(!isUsableGeometry(newerFormat));
        widget.move(2000000000, 0); // beyond any widget size
        QVERIFY(!isUsableGeometry(widget.saveGeometry()));
    }
};

QTEST_MAIN(TestScreenPlacement)
#include "tst_screenplacement.moc"
