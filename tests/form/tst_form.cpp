// The main window's form, built on a plain QMainWindow, and the committed artwork it is drawn on: the
// artwork carries the display's marks where the layout expects them.

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

    // The artwork as drawn by tools/artwork: on the background the dB scales' ticks beside each meter, red
    // from 0 to +5 dB, and the clock's black disc filling its square (x 348 to 757, y 85 to 494); the
    // backdrop, wider, only the panel's texture. A changed hash means a changed picture: look at it.
    void artwork()
    {
        for (const auto &[name, size, hash] :
             {std::tuple("KolvaneBackground", QSize(986, 580), "01a51c1c0ddb5620"),
              {"KolvaneBackgroundEmpty", QSize(1024, 580), "9a46af0200ca29c0"}}) {
            const QImage image =
                QImage(QString(":/resources/png/%1.png").arg(name)).convertToFormat(QImage::Format_ARGB32);
            const QByteArray bytes(reinterpret_cast<const char *>(image.constBits()),
                                   int(image.sizeInBytes()));
            QVERIFY(image.size() == size &&
                    QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(16) == hash);
        }
    }
};

QTEST_MAIN(FormTest)
#include "tst_form.moc"
