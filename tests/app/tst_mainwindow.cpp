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

// Answers the next modal dialog from inside its event loop and keeps what it showed.
struct ModalAnswer
{
    QString title, prompt, initialText;

    void answer(const QString &text, bool accept)
    {
        QTimer::singleShot(0, [this, text, accept] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                prompt = input->labelText();
                initialText = input->textValue();
                input->setTextValue(text);
            }
            accept ? dialog->accept() : dialog->reject();
        });
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { settings.reset(new TempSettings); }
    void cleanup() { settings.reset(); }

    void startsWithItsParts()
    {
        MainWindow w;
        Ui::MainWindow *ui = MainWindowTestAccess::ui(w);
        QVERIFY(ui->footerlabel->text().endsWith(QStringLiteral("v1.9")));
        QVERIFY(w.menuBar()->actions().isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("Kolvane Meters - ()"));
        QVERIFY(MainWindowTestAccess::releaseTimer(w)->isActive());
        QVERIFY(ui->CrmRight->gradientForground());
        // Bold is weight 75 on Qt 5 and 700 on Qt 6; the enum names the same weight on both.
        const QFont clockFont = ui->DigitalClock->font();
        QCOMPARE(clockFont.family(), QStringLiteral("Bitstream Vera Sans"));
        QCOMPARE(clockFont.pointSize(), 36);
        QVERIFY(clockFont.bold() && clockFont.weight() == QFont::Bold && !clockFont.italic());
    }

    void captionSlot_data()
    {
        QTest::addColumn<int>("caption");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("expected");
        QTest::newRow("OK with text") << 1 << "Studio 2" << true << "Studio 2";
        QTest::newRow("OK empty keeps it") << 1 << "" << true << "Sub";
        QTest::newRow("Cancel keeps it") << 1 << "Other" << false << "Sub";
        QTest::newRow("first caption") << 0 << "Programme" << true << "Programme";
        QTest::newRow("long text") << 2 << QString(200, 'x') << true << QString(200, 'x');
    }

    void captionSlot()
    {
        QFETCH(int, caption);
        QFETCH(QString, answer);
        QFETCH(bool, accept);
        QFETCH(QString, expected);
        MainWindow w;
        myLabel *label = MainWindowTestAccess::caption(w, caption);
        const QString before = label->text();
        const QRect geometry = label->geometry();
        ModalAnswer dialog;
        dialog.answer(answer, accept);
        QVERIFY(QMetaObject::invokeMethod(
            &w, qPrintable(QStringLiteral("labelMeter%1Clicked").arg(caption + 1))));
        QCOMPARE(dialog.title, QStringLiteral("Vondrel"));
        QCOMPARE(dialog.prompt, QStringLiteral("Meter %1 label:").arg(caption + 1));
        QCOMPARE(dialog.initialText, before);
        QCOMPARE(label->text(), expected);
        QCOMPARE(label->geometry(), geometry);
    }

    void clicksRunTheirSlots_data()
    {
        QTest::addColumn<int>("target"); // -1: the settings icon, else a caption
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("title");
        QTest::newRow("icon, left") << -1 << int(Qt::LeftButton) << "Communication Interface";
        QTest::newRow("icon, right") << -1 << int(Qt::RightButton) << "Communication Interface";
        QTest::newRow("caption 3, right") << 2 << int(Qt::RightButton) << "Vondrel";
    }

    void clicksRunTheirSlots()
    {
        QFETCH(int, target);
        QFETCH(int, button);
        QFETCH(QString, title);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        myLabel *label =
            target < 0 ? MainWindowTestAccess::settingsLabel(w) : MainWindowTestAccess::caption(w, target);
        ModalAnswer dialog;
        QTest::mousePress(label, Qt::MouseButton(button));
        QVERIFY(!MainWindowTestAccess::commDialog(w)); // a press alone opens nothing
        dialog.answer(QStringLiteral("Booth"), false);
        QTest::mouseRelease(label, Qt::MouseButton(button));
        QCOMPARE(dialog.title, title);
    }

    void cancelledDialogRebuildsTheSameLink()
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

        ModalAnswer dialog;
        dialog.answer(QString(), false);
        QVERIFY(QMetaObject::invokeMethod(&w, "openSettings"));

        QCOMPARE(link.serialport, console.slavePath());
        QCOMPARE(link.server_port, QStringLiteral("5500"));
        for (double level : MainWindowTestAccess::targetLevels(w))
            QCOMPARE(level, -50.0);
        QSerialPort *after = MainWindowTestAccess::serialPort(w);
        QVERIFY(after && after->isOpen());
        QCOMPARE(after->portName(), portName);
        // Closed and let go of, even though the same port opened again at once.
        QVERIFY(before.isNull() || (before.data() != after && !before->isOpen()));
#endif
    }

    // The name lookup runs aside: with a name server that never answers, the dialog comes up and the
    // meters go on falling under it.
    void settingsOpenWhileTheNameServerIsSilent()
    {
        const CCommDialog::HostLookup realLookup = CCommDialog::hostLookup;
        const auto restore = qScopeGuard([&] { CCommDialog::hostLookup = realLookup; });
        // No answer, ever.
        CCommDialog::hostLookup = [](const QString &, QObject *, const char *) { return -2; };
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        ZelPPMMeter *meter = MainWindowTestAccess::ui(w)->ProgLeft;
        MainWindowTestAccess::processFrame(w, LevelFrame::encodeLevels({0, 0, 0, 0, 0, 0}).constData());
        QTRY_COMPARE(meter->dBPosition(), 0.0);
        MainWindowTestAccess::processFrame(
            w, LevelFrame::encodeLevels({-50, -50, -50, -50, -50, -50}).constData());

        double levelAtOpen = qQNaN();
        bool fellWhileOpen = false;
        QTimer::singleShot(0, [&] {
            QDialog *dialog = qobject_cast<CCommDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            levelAtOpen = meter->dBPosition();
            fellWhileOpen = QTest::qWaitFor([&] { return meter->dBPosition() < levelAtOpen; }, 10000);
            dialog->reject();
        });
        QVERIFY(QMetaObject::invokeMethod(&w, "openSettings"));
        QVERIFY2(levelAtOpen > -50.0, "the dialog came up only after the meters had fallen");
        QVERIFY(fellWhileOpen);
    }

private:
    QScopedPointer<TempSettings> settings;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
