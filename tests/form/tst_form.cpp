#include "ui_mainwindow.h"

#include <QMenu>
#include <QtTest>

// The main window's form built on a plain QMainWindow. The widgets' design rectangles and fonts are
// checked where the layout scales them.
class FormTest : public QObject
{
    Q_OBJECT

    QMainWindow window;
    Ui::MainWindow ui;

private slots:
    void initTestCase() { ui.setupUi(&window); }
    void windowAndLocale()
    {
        QCOMPARE(window.size(), QSize(986, 580));
        QCOMPARE(window.minimumSize(), QSize(986, 580));
        QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        QVERIFY(window.windowIcon().availableSizes().contains(QSize(256, 256)));
        QCOMPARE(ui.timelabel->text(), QString("System Time"));
        // The locale is set once, on the window, and every widget inherits it.
        QCOMPARE(window.locale(), QLocale(QLocale::Dutch, QLocale::Netherlands));
        for (QWidget *widget : window.findChildren<QWidget *>())
            QVERIFY2(widget->locale() == window.locale() && !widget->testAttribute(Qt::WA_SetLocale),
                     qPrintable(widget->objectName()));
    }
    void stackingOrderAndEmptyMenuBar()
    {
        QStringList bottomToTop;
        for (QObject *child : ui.centralWidget->children())
            bottomToTop << child->objectName();
        QCOMPARE(bottomToTop.join(' '),
                 QString("ProgLeft ProgRight SubLeft SubRight CrmLeft CrmRight DigitalClock "
                         "timelabel footerlabel AnalogClock"));
        QCOMPARE(window.menuBar(), ui.menuBar);
        QVERIFY(ui.menuBar->actions().isEmpty() && window.findChildren<QMenu *>().isEmpty());
        // Asked of the widgets, as the action's own list of them is gone in Qt 6.
        QVERIFY(!window.actions().contains(ui.actionCOM_port));
        for (const QWidget *widget : window.findChildren<QWidget *>())
            QVERIFY2(!widget->actions().contains(ui.actionCOM_port), qPrintable(widget->objectName()));
    }
};

QTEST_MAIN(FormTest)
#include "tst_form.moc"
