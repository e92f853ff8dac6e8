#include "mainwindowtestaccess.h"

#include "ccommdialog.h"
#include "pty.h"
#include "tempsettings.h"
#include "zelppmmeter.h"

#include <QInputDialog>
#include <QMenuBar>
#include <QPointer>
#include <QtTest>

namespace {

// Answers the next modal input dialog from the event loop, reporting what it showed.
struct InputDialogAnswer
{
    QString title;
    QString prompt;
    QString initialText;
    bool seen = false;

    void answer(const QString &text, bool accept)
    {
        QTimer::singleShot(0, [this, text, accept] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = true;
            title = dialog->windowTitle();
            prompt = dialog->labelText();
            initialText = dialog->textValue();
            dialog->setTextValue(text);
            if (accept)
                dialog->accept();
            else
                dialog->reject();
        });
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void startsWithItsParts();
    void slotTable();
    void designGeometryAsConstructed();
    void captionDialog_data();
    void captionDialog();
    void clickingACaptionEditsIt();
    void settingsIconOpensTheDialog_data();
    void settingsIconOpensTheDialog();
    void cancelledDialogRebuildsTheSameLink();

private:
    TempSettings *settings = nullptr;
};

void TestMainWindow::init()
{
    settings = new TempSettings;
}

void TestMainWindow::cleanup()
{
    delete settings;
    settings = nullptr;
}

void TestMainWindow::startsWithItsParts()
{
    MainWindow w;
    Ui::MainWindow *ui = MainWindowTestAccess::ui(w);
    QVERIFY(ui->footerlabel->text().endsWith(QStringLiteral("v1.9")));
    QVERIFY(w.menuBar()->actions().isEmpty());
    QCOMPARE(ui->timelabel->text(), QStringLiteral("System Time"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Kolvane Meters - ()"));
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Zelvoort"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Kolvane Meters"));

    QTimer *release = MainWindowTestAccess::releaseTimer(w);
    QVERIFY(release->isActive());
    QCOMPARE(release->interval(), 10);
    QCOMPARE(MainWindowTestAccess::releaseStep(w), 0.133);
    for (double level : MainWindowTestAccess::targetLevels(w))
        QCOMPARE(level, -50.0);

    QCOMPARE(MainWindowTestAccess::windowSize(w), QSize(-1, -1));
    QVERIFY(!MainWindowTestAccess::resizePending(w));
    for (ZelPPMMeter *meter : {ui->ProgLeft, ui->CrmRight})
        QVERIFY(meter->gradientForground());
}

void TestMainWindow::slotTable()
{
    const QMetaObject *meta = &MainWindow::staticMetaObject;
    const QStringList expected = {"onDataAvailable()",    "meterRelease()",       "openSettings()",
                                  "udpReceive()",         "labelMeter1Clicked()", "labelMeter2Clicked()",
                                  "labelMeter3Clicked()"};
    QCOMPARE(meta->methodCount() - meta->methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta->method(meta->methodOffset() + i);
        QCOMPARE(QString::fromLatin1(method.methodSignature()), expected.at(i));
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
    }
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
}

void TestMainWindow::designGeometryAsConstructed()
{
    MainWindow w;
    const std::array<QRect, 14> expected = {
        QRect(54, 73, 12, 415),   QRect(143, 73, 12, 415),  QRect(210, 73, 12, 415),  QRect(299, 73, 12, 415),
        QRect(844, 199, 8, 291),  QRect(907, 199, 8, 291),  QRect(348, 85, 410, 410), QRect(348, 260, 410, 111),
        QRect(44, 502, 121, 31),  QRect(194, 502, 131, 31), QRect(830, 502, 101, 31), QRect(356, 502, 401, 31),
        QRect(360, 550, 381, 21), QRect(900, 28, 25, 25)};
    QCOMPARE(MainWindowTestAccess::designGeometry(w), expected);
}

void TestMainWindow::captionDialog_data()
{
    QTest::addColumn<int>("caption");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("expectedCaption");

    QTest::newRow("OK with text") << 1 << "Studio 2" << true << "Studio 2";
    QTest::newRow("OK empty keeps the caption") << 1 << "" << true << "Sub";
    QTest::newRow("Cancel keeps the caption") << 1 << "Other" << false << "Sub";
    QTest::newRow("first caption") << 0 << "Programme" << true << "Programme";
    QTest::newRow("third caption, long text") << 2 << QString(200, QLatin1Char('x')) << true
                                              << QString(200, QLatin1Char('x'));
}

void TestMainWindow::captionDialog()
{
    QFETCH(int, caption);
    QFETCH(QString, answer);
    QFETCH(bool, accept);
    QFETCH(QString, expectedCaption);

    MainWindow w;
    myLabel *label = MainWindowTestAccess::caption(w, caption);
    const QString before = label->text();
    const QRect geometry = label->geometry();
    InputDialogAnswer dialog;
    dialog.answer(answer, accept);
    const QByteArray slot = "labelMeter" + QByteArray::number(caption + 1) + "Clicked";
    QVERIFY(QMetaObject::invokeMethod(&w, slot.constData()));

    QVERIFY(dialog.seen);
    QCOMPARE(dialog.title, QStringLiteral("Vondrel"));
    QCOMPARE(dialog.prompt, QStringLiteral("Meter %1 label:").arg(caption + 1));
    QCOMPARE(dialog.initialText, before);
    QCOMPARE(label->text(), expectedCaption);
    QCOMPARE(label->geometry(), geometry);
}

void TestMainWindow::clickingACaptionEditsIt()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    myLabel *label = MainWindowTestAccess::caption(w, 2);
    InputDialogAnswer dialog;
    dialog.answer(QStringLiteral("Booth"), true);
    QTest::mouseClick(label, Qt::RightButton);
    QVERIFY(dialog.seen);
    QCOMPARE(dialog.prompt, QStringLiteral("Meter 3 label:"));
    QCOMPARE(label->text(), QStringLiteral("Booth"));
}

void TestMainWindow::settingsIconOpensTheDialog_data()
{
    QTest::addColumn<int>("buttonValue");
    QTest::newRow("left") << int(Qt::LeftButton);
    QTest::newRow("middle") << int(Qt::MiddleButton);
    QTest::newRow("right") << int(Qt::RightButton);
}

void TestMainWindow::settingsIconOpensTheDialog()
{
    QFETCH(int, buttonValue);
    const auto button = Qt::MouseButton(buttonValue);
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    myLabel *icon = MainWindowTestAccess::settingsLabel(w);

    QTest::mousePress(icon, button);
    QVERIFY(!MainWindowTestAccess::commDialog(w)); // a press alone opens nothing

    QString title;
    QTimer::singleShot(0, [&title] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            title = dialog->windowTitle();
            dialog->close();
        }
    });
    QTest::mouseRelease(icon, button);
    QVERIFY(MainWindowTestAccess::commDialog(w));
    QCOMPARE(title, QStringLiteral("Communication Interface"));
}

void TestMainWindow::cancelledDialogRebuildsTheSameLink()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a pseudo-terminal as the serial device");
#else
    Pty console;
    QVERIFY2(console.isOpen(), "cannot open a pseudo-terminal");
    MainWindow w;
    LinkSettings &link = MainWindowTestAccess::linkSettings(w);
    link.serialport = console.slavePath();
    link.server_port = "5500";
    MainWindowTestAccess::setupLink(w);
    QPointer<QSerialPort> before = MainWindowTestAccess::serialPort(w);
    QVERIFY(before && before->isOpen());
    const QString portName = before->portName();
    MainWindowTestAccess::targetLevels(w).fill(-3.0);

    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    QVERIFY(QMetaObject::invokeMethod(&w, "openSettings"));

    QCOMPARE(link.serialport, console.slavePath());
    QCOMPARE(link.server_port, QStringLiteral("5500"));
    QCOMPARE(link.use_udp, false);
    for (double level : MainWindowTestAccess::targetLevels(w))
        QCOMPARE(level, -50.0);
    QSerialPort *after = MainWindowTestAccess::serialPort(w);
    QVERIFY(after && after->isOpen());
    QCOMPARE(after->portName(), portName);
    // Closed and let go of, even though the same port opened again at once.
    QVERIFY(before.isNull() || (before.data() != after && !before->isOpen()));
#endif
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
