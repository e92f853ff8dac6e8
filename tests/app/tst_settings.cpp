#include "mainwindowtestaccess.h"

#include "autostart.h"
#include "tempsettings.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>
#include <QtWidgets>

namespace {

QStringList linkAndCaptions(MainWindow &w)
{
    const LinkSettings &l = MainWindowTestAccess::linkSettings(w);
    return {QString::number(l.is_server),
            QString::number(l.use_udp),
            l.serialport,
            l.server_host,
            l.server_port,
            l.client_host,
            l.client_port,
            MainWindowTestAccess::caption(w, 0)->text(),
            MainWindowTestAccess::caption(w, 1)->text(),
            MainWindowTestAccess::caption(w, 2)->text(),
            QString::number(MainWindowTestAccess::linkStatus(w)->timeout())};
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        temp.reset(new TempSettings);
        TempSettings::useApplicationNames();
    }
    void cleanup() { temp.reset(); }
    void firstStartThenRoundTrip();
    void storedValues_data();
    void storedValues();
    void geometryFittedToTheScreen_data();
    void geometryFittedToTheScreen();
    void captionsInAnyScript();
    void halfACharacterStaysInItsValue();
    void storedAtOnce_data();
    void storedAtOnce();

private:
    QScopedPointer<TempSettings> temp;
};

void TestSettings::firstStartThenRoundTrip()
{
    QByteArray geometry;
    {
        MainWindow w;
        QCOMPARE(linkAndCaptions(w),
                 (QStringList{"0", "0", "", "", "", "", "", "Prog", "Sub", "CRM", "2000"}));
        QCOMPARE(w.pos(), QGuiApplication::primaryScreen()->geometry().topLeft());
        QCOMPARE(QSettings().allKeys(), QStringList()); // nothing is stored before the window goes

        LinkSettings &link = MainWindowTestAccess::linkSettings(w);
        link = {true, true, "ttyUSB7", "10.1.2.3", "5500", "10.1.2.4", "5501"};
        MainWindowTestAccess::caption(w, 1)->setText(QString::fromUtf8("Régie"));
        MainWindowTestAccess::linkStatus(w)->setTimeout(500);
        // Fits the test screen's height (600 on Qt 5, 800 on Qt 6); no top above 20, where Qt 6 leaves room
        // for a title bar.
        w.setGeometry(0, 20, 986, 580);
        geometry = w.saveGeometry();
    }
    QSettings store;
    QStringList keys = store.allKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList{"client_host",
                                "client_port",
                                "current_screen",
                                "full_screen",
                                "geometry",
                                "hide_cursor_s",
                                "is_server",
                                "keep_screen_awake",
                                "labelMeter1",
                                "labelMeter2",
                                "labelMeter3",
                                "over_indicator",
                                "peak_hold",
                                "serialport",
                                "server_host",
                                "server_port",
                                "signal_timeout_ms",
                                "silence_alarm",
                                "silence_delay_s",
                                "silence_threshold_db",
                                "use_udp"}));
    QCOMPARE(store.value("current_screen").toInt(), 0);
    MainWindow again;
    QCOMPARE(linkAndCaptions(again), (QStringList{"1", "1", "ttyUSB7", "10.1.2.3", "5500", "10.1.2.4", "5501",
                                                  "Prog", QString::fromUtf8("Régie"), "CRM", "500"}));
    QCOMPARE(again.saveGeometry(), geometry);
}

void TestSettings::storedValues_data()
{
    QTest::addColumn<QVariant>("isServer");
    QTest::addColumn<QVariant>("screen");
    QTest::addColumn<QVariant>("geometry");
    QTest::addColumn<QVariant>("caption");
    QTest::addColumn<QVariant>("signalTimeout");
    QTest::addColumn<bool>("expectedServer");
    QTest::addColumn<QString>("expectedCaption");
    QTest::addColumn<int>("expectedTimeout");
    QTest::newRow("stored empty caption stays empty, watch off")
        << QVariant(true) << QVariant(0) << QVariant() << QVariant("") << QVariant(0) << true << "" << 0;
    QTest::newRow("words where numbers belong")
        << QVariant("false") << QVariant("second") << QVariant(QByteArray("not a geometry")) << QVariant(5500)
        << QVariant("soon") << false << "5500" << 2000;
    QTest::newRow("huge screen index and timeout")
        << QVariant(0) << QVariant(2147483647) << QVariant(QByteArray(64, '\xff')) << QVariant()
        << QVariant(600001) << false << "Sub" << 2000;
    QTest::newRow("negative index and timeout, cut-off geometry")
        << QVariant() << QVariant(-3) << QVariant(QByteArray::fromHex("01d9d0cb000300000000"))
        << QVariant(1.5) << QVariant(-5) << false << "1.5" << 2000;
}

// Whatever the store holds, the window starts on the primary screen at its design size.
void TestSettings::storedValues()
{
    QFETCH(QVariant, isServer);
    QFETCH(QVariant, screen);
    QFETCH(QVariant, geometry);
    QFETCH(QVariant, caption);
    QFETCH(QVariant, signalTimeout);
    QFETCH(bool, expectedServer);
    QFETCH(QString, expectedCaption);
    QFETCH(int, expectedTimeout);
    {
        QSettings store;
        const std::pair<const char *, QVariant> values[] = {{"is_server", isServer},
                                                            {"current_screen", screen},
                                                            {"geometry", geometry},
                                                            {"labelMeter2", caption},
                                                            {"signal_timeout_ms", signalTimeout}};
        for (const auto &value : values)
            if (value.second.isValid())
                store.setValue(value.first, value.second);
    }
    MainWindow w;
    QCOMPARE(MainWindowTestAccess::linkSettings(w).is_server, expectedServer);
    QCOMPARE(MainWindowTestAccess::caption(w, 1)->text(), expectedCaption);
    QCOMPARE(MainWindowTestAccess::linkStatus(w)->timeout(), expectedTimeout);
    QCOMPARE(w.pos(), QGuiApplication::primaryScreen()->geometry().topLeft());
    QCOMPARE(w.size(), QSize(986, 580));
}

void TestSettings::geometryFittedToTheScreen_data()
{
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<int>("state");
    QTest::addColumn<QRect>("restored"); // the form's minimum size is wider than the 800 px test screen
    const int h = QGuiApplication::primaryScreen()->availableGeometry().height(); // 600 on Qt 5, 800 on Qt 6
    QTest::newRow("far larger") << QRect(0, 0, 20000, 12000) << int(Qt::WindowNoState) << QRect(0, 0, 986, h);
    QTest::newRow("maximized, far larger")
        << QRect(0, 0, 20000, 12000) << int(Qt::WindowMaximized) << QRect(0, 0, 986, h);
    QTest::newRow("full screen, off the screen")
        << QRect(30000, 30000, 1000, 590) << int(Qt::WindowFullScreen) << QRect(0, h - 590, 986, 590);
}

void TestSettings::geometryFittedToTheScreen()
{
    QFETCH(QRect, stored);
    QFETCH(int, state);
    QFETCH(QRect, restored);
    {
        QWidget window;
        window.setGeometry(stored);
        window.setWindowState(Qt::WindowState(state));
        QSettings().setValue("geometry", window.saveGeometry());
    }
    MainWindow w;
    QCOMPARE(int(w.windowState()), state);
    // Placed by its frame, as a restored window is; not shown yet, so not maximized yet either.
    QCOMPARE(QRect(w.frameGeometry().topLeft(), w.normalGeometry().size()), restored);
}

// Qt 5 builds used to store text beyond ASCII as escapes; every build now reads those and writes
// UTF-8, as Qt 6 does, characters beyond U+FFFF included.
void TestSettings::captionsInAnyScript()
{
    QDir().mkpath(QFileInfo(temp->settingsFile()).path());
    QFile escaped(temp->settingsFile());
    QVERIFY(escaped.open(QIODevice::WriteOnly));
    escaped.write("[General]\nlabelMeter1=R\\xe9gie\nlabelMeter2=\\x421\\x442\\x443\\x434\\x438\\x44f\n"
                  "labelMeter3=\\xd83c\\xdf99 \\x30b9\\x30bf\\x30b8\\x30aa\n");
    escaped.close();
    const QStringList captions = {QStringLiteral("R\u00e9gie"),
                                  QStringLiteral("\u0421\u0442\u0443\u0434\u0438\u044f"),
                                  QStringLiteral("\U0001f399 \u30b9\u30bf\u30b8\u30aa")};
    for (int run = 0; run < 2; ++run) {
        MainWindow w;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(MainWindowTestAccess::caption(w, i)->text(), captions.at(i));
    }
    QFile written(temp->settingsFile());
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    for (int i = 0; i < 3; ++i)
        QVERIFY2(text.contains("labelMeter" + QByteArray::number(i + 1) + '=' + captions.at(i).toUtf8()),
                 text.constData());
}

// Half a character (an unpaired surrogate, as a Qt 5 escape) becomes U+FFFD in its own value, run after run.
void TestSettings::halfACharacterStaysInItsValue()
{
    QDir().mkpath(QFileInfo(temp->settingsFile()).path());
    QFile file(temp->settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "[General]\nlabelMeter1=Prog\\xd83d\nlabelMeter2=S\\xdc99ub\nlabelMeter3=\\xd83d\\xd83c\\xdf99\n");
    file.close();
    const QStringList captions = {QStringLiteral("Prog\ufffd"), QStringLiteral("S\ufffdub"),
                                  QStringLiteral("\ufffd\U0001f399")};
    for (int run = 0; run < 2; ++run) {
        MainWindow{}; // reads the file and writes it back as it goes
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        file.close();
        for (int i = 0; i < 3; ++i)
            QVERIFY2(text.contains("labelMeter" + QByteArray::number(i + 1) + '=' + captions.at(i).toUtf8() +
                                   '\n'),
                     text.constData());
    }
}

void TestSettings::storedAtOnce_data()
{
    QTest::addColumn<QStringList>("change"); // a key, a double click, a menu entry or a caption; key; value
    QTest::newRow("F11") << QStringList{"F11", "full_screen", "true"};
    QTest::newRow("double click") << QStringList{"double click", "full_screen", "true"};
    QTest::newRow("Escape") << QStringList{"Escape", "full_screen", "false"};
    QTest::newRow("menu") << QStringList{"Full screen", "full_screen", "true"};
    QTest::newRow("display options") << QStringList{"Display options", "peak_hold", "true"};
    QTest::newRow("communication settings") << QStringList{"Communication settings", "use_udp", "false"};
    QTest::newRow("caption") << QStringList{"caption", "labelMeter2", "Studio"};
}

// Each change is in the file, with every other key, as soon as it is made: a display that is killed
// or loses power comes back as it was left.
void TestSettings::storedAtOnce()
{
    QFETCH(QStringList, change);
    const QString what = change.at(0);
    QTemporaryDir configHome; // the autostart entry's
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QSettings().setValue("full_screen", what == "Escape");
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTimer::singleShot(0, [] { // the dialog, answered as the user would
        QWidget *dialog = QApplication::activeModalWidget();
        if (auto *input = qobject_cast<QInputDialog *>(dialog))
            input->setTextValue("Studio");
        for (const char *name : {"checkBox_peakhold", "checkBox_autostart"})
            if (auto *box = dialog ? dialog->findChild<QCheckBox *>(name) : nullptr)
                box->setChecked(true);
        if (auto *ok = dialog ? dialog->findChild<QPushButton *>("pushButton_ok") : nullptr)
            ok->click();
        else if (dialog)
            static_cast<QDialog *>(dialog)->accept();
    });
    if (what == "F11" || what == "Escape")
        QTest::keyClick(&w, what == "F11" ? Qt::Key_F11 : Qt::Key_Escape);
    else if (what == "double click")
        QTest::mouseDClick(&w, Qt::LeftButton);
    else if (what == "caption")
        QTest::mouseClick(MainWindowTestAccess::caption(w, 1), Qt::LeftButton);
    for (QAction *action : w.actions())
        if (action->text().startsWith(what))
            action->trigger();
    const QSettings file(temp->settingsFile(), QSettings::IniFormat);
    QCOMPARE(file.value(change.at(1)).toString(), change.at(2));
    QVERIFY(file.contains("geometry") && file.contains("labelMeter3"));
    QCOMPARE(Autostart::isEnabled(), what == "Display options"); // the entry and the file agree
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
