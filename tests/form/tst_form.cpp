// The main window's form, built on a plain QMainWindow.

#include "ui_mainwindow.h"

#include <QMenu>
#include <QtTest>

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    // The design's size, the icon and texts; the locale set once, on the window, for every widget to
    // inherit; the widgets' stacking order; a menu bar with nothing on it, and the settings action on no
    // widget (asked of the widgets, as the action's own list of them is gone in Qt 6).
    void form()
    {
        QMainWindow window;
        Ui::MainWindow ui;
        ui.setupUi(&window);
        QVERIFY(window.size() == QSize(986, 580) && window.minimumSize() == QSize(986, 580) &&
                window.maximumSize() == QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        QVERIFY(window.windowIcon().availableSizes().contains(QSize(256, 256)) &&
                ui.timelabel->text() == QString("System Time"));
        QCOMPARE(window.locale(), QLocale(QLocale::Dutch, QLocale::Netherlands));
        QStringList bottomToTop;
        for (QObject *child : ui.centralWidget->children())
            bottomToTop << child->objectName();
        QCOMPARE(bottomToTop.join(' '),
                 QString("ProgLeft ProgRight SubLeft SubRight CrmLeft CrmRight DigitalClock "
                         "timelabel footerlabel AnalogClock"));
        QVERIFY(window.menuBar() == ui.menuBar && ui.menuBar->actions().isEmpty() &&
                window.findChildren<QMenu *>().isEmpty() && !window.actions().contains(ui.actionCOM_port));
        for (QWidget *widget : window.findChildren<QWidget *>())
            QVERIFY2(widget->locale() == window.locale() && !widget->testAttribute(Qt::WA_SetLocale) &&
                         !widget->actions().contains(ui.actionCOM_port),
                     qPrintable(widget->objectName()));
    }
};

QTEST_MAIN(FormTest)
#include "tst_form.moc"
