#include "ui_mainwindow.h"

#include <QMenu>
#include <QtTest>

// The main window's form built on a plain QMainWindow.
class FormTest : public QObject
{
    Q_OBJECT

    QMainWindow window;
    Ui::MainWindow ui;

    // Class, parent, a placed widget's geometry, a label's font size (its font otherwise the default).
    QString described(const QObject *object) const
    {
        QStringList parts = {object->metaObject()->className(), object->parent()->objectName()};
        const auto *w = qobject_cast<const QWidget *>(object);
        if (w && w != ui.centralWidget)
            parts << QString::asprintf("%d,%d,%d,%d", w->x(), w->y(), w->width(), w->height());
        if (const auto *label = qobject_cast<const QLabel *>(object)) {
            QFont sized;
            sized.setPointSize(label->font().pointSize());
            parts << QString("%1pt%2").arg(sized.pointSize()).arg(label->font() == sized ? "" : " styled");
        }
        return parts.join(' ');
    }

private slots:
    void initTestCase() { ui.setupUi(&window); }
    void objects_data()
    {
        QTest::addColumn<QString>("expected");
        QTest::newRow("actionCOM_port") << "QAction MainWindow";
        QTest::newRow("centralWidget") << "QWidget MainWindow";
        QTest::newRow("ProgLeft") << "ZelPPMMeter centralWidget 54,73,12,415";
        QTest::newRow("ProgRight") << "ZelPPMMeter centralWidget 143,73,12,415";
        QTest::newRow("SubLeft") << "ZelPPMMeter centralWidget 210,73,12,415";
        QTest::newRow("SubRight") << "ZelPPMMeter centralWidget 299,73,12,415";
        QTest::newRow("CrmLeft") << "ZelPPMMeter centralWidget 844,199,8,291";
        QTest::newRow("CrmRight") << "ZelPPMMeter centralWidget 907,199,8,291";
        QTest::newRow("AnalogClock") << "ZelAnalogClock centralWidget 348,85,410,410";
        QTest::newRow("DigitalClock") << "ZelDigitalClock centralWidget 348,260,410,111";
        QTest::newRow("timelabel") << "QLabel centralWidget 356,502,401,31 15pt";
        QTest::newRow("footerlabel") << "QLabel centralWidget 360,550,381,21 11pt";
        QTest::newRow("menuBar") << "QMenuBar MainWindow 0,0,986,21";
    }
    void objects()
    {
        QFETCH(QString, expected);
        const QList<QObject *> found = window.findChildren<QObject *>(QTest::currentDataTag());
        QCOMPARE(found.size(), 1);
        QCOMPARE(described(found[0]), expected);
    }
    void windowProperties()
    {
        QCOMPARE(window.windowTitle(), QString("Kolvane Meters"));
        QCOMPARE(ui.actionCOM_port->text(), QString("COM-port"));
        QCOMPARE(ui.timelabel->text(), QString("System Time"));
        QCOMPARE(ui.footerlabel->alignment(), Qt::AlignCenter);
        QCOMPARE(window.size(), QSize(986, 580));
        QCOMPARE(window.minimumSize(), QSize(986, 580));
        QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        QVERIFY(window.sizePolicy() == QSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum));
        const QList<QSize> iconSizes = window.windowIcon().availableSizes();
        for (int side : {16, 24, 32, 48, 64, 256})
            QVERIFY2(iconSizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
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
