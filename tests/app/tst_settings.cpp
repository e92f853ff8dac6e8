#include "mainwindowtestaccess.h"

#include "tempsettings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

namespace {

const QStringList AllKeys = {"client_host", "client_port", "current_screen", "geometry",
                             "is_server",   "labelMeter1", "labelMeter2",    "labelMeter3",
                             "serialport",  "server_host", "server_port",    "use_udp"};

QStringList captions(MainWindow &w)
{
    return {MainWindowTestAccess::caption(w, 0)->text(), MainWindowTestAccess::caption(w, 1)->text(),
            MainWindowTestAccess::caption(w, 2)->text()};
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void firstStartDefaults();
    void storedEmptyCaptionStaysEmpty();
    void roundTripOfAllKeys();
    void oddStoredValues_data();
    void oddStoredValues();

private:
    TempSettings *temp = nullptr;
};

void TestSettings::init()
{
    temp = new TempSettings;
    TempSettings::useApplicationNames();
}

void TestSettings::cleanup()
{
    delete temp;
    temp = nullptr;
}

void TestSettings::firstStartDefaults()
{
    {
        MainWindow w;
        const LinkSettings &link = MainWindowTestAccess::linkSettings(w);
        QCOMPARE(link.is_server, false);
        QCOMPARE(link.use_udp, false);
        QVERIFY(link.serialport.isEmpty());
        QVERIFY(link.server_host.isEmpty() && link.server_port.isEmpty());
        QVERIFY(link.client_host.isEmpty() && link.client_port.isEmpty());
        QCOMPARE(captions(w), (QStringList{"Prog", "Sub", "CRM"}));
        const QScreen *primary = QGuiApplication::primaryScreen();
        QCOMPARE(w.pos(), primary->geometry().topLeft());
        QCOMPARE(w.size(), QSize(986, 580));
    }
    // Nothing was stored before the window went away; then everything was, once.
    QSettings store;
    QStringList keys = store.allKeys();
    keys.sort();
    QCOMPARE(keys, AllKeys);
}

void TestSettings::storedEmptyCaptionStaysEmpty()
{
    {
        QSettings store;
        store.setValue("labelMeter2", QString());
    }
    MainWindow w;
    QCOMPARE(captions(w), (QStringList{"Prog", "", "CRM"}));
}

void TestSettings::roundTripOfAllKeys()
{
    QByteArray storedGeometry;
    {
        MainWindow w;
        LinkSettings &link = MainWindowTestAccess::linkSettings(w);
        link.is_server = true;
        link.use_udp = true;
        link.serialport = "ttyUSB7";
        link.server_host = "10.1.2.3";
        link.server_port = "5500";
        link.client_host = "10.1.2.4";
        link.client_port = "5501";
        MainWindowTestAccess::caption(w, 0)->setText("A");
        MainWindowTestAccess::caption(w, 1)->setText("B b");
        MainWindowTestAccess::caption(w, 2)->setText(QString::fromUtf8("Régie"));
        w.resize(1200, 700);
        w.move(30, 40);
        storedGeometry = w.saveGeometry();
    }
    {
        QSettings store;
        QCOMPARE(store.value("is_server").toBool(), true);
        QCOMPARE(store.value("use_udp").toBool(), true);
        QCOMPARE(store.value("server_port").toString(), QStringLiteral("5500"));
        QCOMPARE(store.value("current_screen").toInt(), 0);
        QCOMPARE(store.value("geometry").toByteArray(), storedGeometry);
    }
    MainWindow again;
    const LinkSettings &link = MainWindowTestAccess::linkSettings(again);
    QCOMPARE(link.is_server, true);
    QCOMPARE(link.use_udp, true);
    QCOMPARE(link.serialport, QStringLiteral("ttyUSB7"));
    QCOMPARE(link.server_host, QStringLiteral("10.1.2.3"));
    QCOMPARE(link.server_port, QStringLiteral("5500"));
    QCOMPARE(link.client_host, QStringLiteral("10.1.2.4"));
    QCOMPARE(link.client_port, QStringLiteral("5501"));
    QCOMPARE(captions(again), (QStringList{"A", "B b", QString::fromUtf8("Régie")}));
    QCOMPARE(again.size(), QSize(1200, 700));
    QCOMPARE(again.saveGeometry(), storedGeometry);
}

void TestSettings::oddStoredValues_data()
{
    QTest::addColumn<QVariant>("isServer");
    QTest::addColumn<QVariant>("currentScreen");
    QTest::addColumn<QVariant>("geometry");
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<bool>("expectedServer");
    QTest::addColumn<QString>("expectedPort");

    QTest::newRow("words where numbers belong")
        << QVariant("no") << QVariant("second") << QVariant(QByteArray("not a geometry")) << QVariant(5500)
        << true << "5500";
    QTest::newRow("huge screen index") << QVariant(false) << QVariant(2147483647)
                                       << QVariant(QByteArray(64, '\xff')) << QVariant("x") << false << "x";
    QTest::newRow("negative screen index")
        << QVariant(0) << QVariant(-3) << QVariant(QByteArray()) << QVariant(1.5) << false << "1.5";
    QTest::newRow("truncated geometry")
        << QVariant("false") << QVariant(1) << QVariant(QByteArray::fromHex("01d9d0cb000300000000"))
        << QVariant() << false << "";
}

// Whatever a store holds, the window starts, on the primary screen at its design size.
void TestSettings::oddStoredValues()
{
    QFETCH(QVariant, isServer);
    QFETCH(QVariant, currentScreen);
    QFETCH(QVariant, geometry);
    QFETCH(QVariant, port);
    QFETCH(bool, expectedServer);
    QFETCH(QString, expectedPort);
    {
        QSettings store;
        store.setValue("is_server", isServer);
        store.setValue("current_screen", currentScreen);
        store.setValue("geometry", geometry);
        if (port.isValid())
            store.setValue("client_port", port);
    }
    MainWindow w;
    QCOMPARE(MainWindowTestAccess::linkSettings(w).is_server, expectedServer);
    QCOMPARE(MainWindowTestAccess::linkSettings(w).client_port, expectedPort);
    QCOMPARE(w.pos(), QGuiApplication::primaryScreen()->geometry().topLeft());
    QCOMPARE(w.size(), QSize(986, 580));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
