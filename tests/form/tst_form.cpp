// The main window's form on a plain QMainWindow: objects, geometry, stacking, window properties.

#include "ui_mainwindow.h"

#include <QMenu>
#include <QtTest>

#include <memory>

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void objects_data();
    void objects();
    void stackingOrderPutsTheAnalogClockOnTop();
    void windowSizeIsFixedFromBelow();
    void sizePolicyIsMaximum();
    void localeIsDutchForEveryWidget();
    void labelFonts_data();
    void labelFonts();
    void texts();
    void windowIconHoldsEverySize();
    void menuBarIsEmptyAndTheActionInNoMenu();

private:
    QObject *formMember(const QString &name) const;

    std::unique_ptr<QMainWindow> window;
    Ui::MainWindow ui;
};

namespace {
const QLocale Dutch(QLocale::Dutch, QLocale::Netherlands);
const QSize DesignSize(986, 580);
} // namespace

void FormTest::init()
{
    window = std::make_unique<QMainWindow>();
    ui.setupUi(window.get());
}

void FormTest::cleanup()
{
    window.reset();
}

QObject *FormTest::formMember(const QString &name) const
{
    const QHash<QString, QObject *> members = {
        {"actionCOM_port", ui.actionCOM_port},
        {"centralWidget", ui.centralWidget},
        {"ProgLeft", ui.ProgLeft},
        {"ProgRight", ui.ProgRight},
        {"SubLeft", ui.SubLeft},
        {"SubRight", ui.SubRight},
        {"CrmLeft", ui.CrmLeft},
        {"CrmRight", ui.CrmRight},
        {"AnalogClock", ui.AnalogClock},
        {"DigitalClock", ui.DigitalClock},
        {"timelabel", ui.timelabel},
        {"footerlabel", ui.footerlabel},
        {"menuBar", ui.menuBar},
    };
    return members.value(name);
}

void FormTest::objects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry"); // a null rectangle: placed by the window's layout

    const auto row = [](const char *name, const char *className, const char *parent, const QRect &geometry) {
        QTest::newRow(name) << QString(name) << QString(className) << QString(parent) << geometry;
    };
    row("actionCOM_port", "QAction", "MainWindow", QRect());
    row("centralWidget", "QWidget", "MainWindow", QRect());
    row("ProgLeft", "ZelPPMMeter", "centralWidget", QRect(54, 73, 12, 415));
    row("ProgRight", "ZelPPMMeter", "centralWidget", QRect(143, 73, 12, 415));
    row("SubLeft", "ZelPPMMeter", "centralWidget", QRect(210, 73, 12, 415));
    row("SubRight", "ZelPPMMeter", "centralWidget", QRect(299, 73, 12, 415));
    row("CrmLeft", "ZelPPMMeter", "centralWidget", QRect(844, 199, 8, 291));
    row("CrmRight", "ZelPPMMeter", "centralWidget", QRect(907, 199, 8, 291));
    row("AnalogClock", "ZelAnalogClock", "centralWidget", QRect(348, 85, 410, 410));
    row("DigitalClock", "ZelDigitalClock", "centralWidget", QRect(348, 260, 410, 111));
    row("timelabel", "QLabel", "centralWidget", QRect(356, 502, 401, 31));
    row("footerlabel", "QLabel", "centralWidget", QRect(360, 550, 381, 21));
    row("menuBar", "QMenuBar", "MainWindow", QRect(0, 0, 986, 21));
}

void FormTest::objects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);

    const QList<QObject *> found = window->findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QObject *object = found.first();
    QCOMPARE(object, formMember(name));
    QCOMPARE(QString(object->metaObject()->className()), className);
    QVERIFY(object->parent());
    QCOMPARE(object->parent()->objectName(), parentName);
    if (!geometry.isNull())
        QCOMPARE(qobject_cast<QWidget *>(object)->geometry(), geometry);
}

void FormTest::stackingOrderPutsTheAnalogClockOnTop()
{
    QCOMPARE(window->objectName(), QString("MainWindow"));
    QCOMPARE(window->centralWidget(), ui.centralWidget);
    QStringList bottomToTop;
    for (QObject *child : ui.centralWidget->children())
        if (child->isWidgetType())
            bottomToTop << child->objectName();
    const QStringList expected = {"ProgLeft", "ProgRight",    "SubLeft",   "SubRight",    "CrmLeft",
                                  "CrmRight", "DigitalClock", "timelabel", "footerlabel", "AnalogClock"};
    QCOMPARE(bottomToTop, expected);
    // Shown, the clock really covers the digital clock where they overlap.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QPoint digitalClockCentre = ui.DigitalClock->geometry().center();
    QCOMPARE(ui.centralWidget->childAt(digitalClockCentre), static_cast<QWidget *>(ui.AnalogClock));
}

void FormTest::windowSizeIsFixedFromBelow()
{
    QCOMPARE(window->size(), DesignSize);
    QCOMPARE(window->minimumSize(), DesignSize);
    QCOMPARE(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    window->resize(500, 300);
    QCOMPARE(window->size(), DesignSize);
    window->resize(1920, 1080);
    QCOMPARE(window->size(), QSize(1920, 1080));
}

void FormTest::sizePolicyIsMaximum()
{
    const QSizePolicy policy = window->sizePolicy();
    QCOMPARE(policy.horizontalPolicy(), QSizePolicy::Maximum);
    QCOMPARE(policy.verticalPolicy(), QSizePolicy::Maximum);
    QCOMPARE(policy.horizontalStretch(), 0);
    QCOMPARE(policy.verticalStretch(), 0);
    QVERIFY(!policy.hasHeightForWidth());
    QVERIFY(!window->autoFillBackground());
    QVERIFY(window->styleSheet().isEmpty());
    QVERIFY(ui.AnalogClock->styleSheet().isEmpty());
}

void FormTest::localeIsDutchForEveryWidget()
{
    QCOMPARE(window->locale(), Dutch);
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    QVERIFY(widgets.size() >= 12);
    for (QWidget *widget : widgets) {
        QVERIFY2(!widget->testAttribute(Qt::WA_SetLocale), qPrintable(widget->objectName()));
        QVERIFY2(widget->locale() == Dutch, qPrintable(widget->objectName()));
    }
}

void FormTest::labelFonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<int>("alignment");

    QTest::newRow("timelabel") << "timelabel" << 15 << int(Qt::AlignLeft | Qt::AlignVCenter);
    QTest::newRow("footerlabel") << "footerlabel" << 11 << int(Qt::AlignCenter);
}

void FormTest::labelFonts()
{
    QFETCH(QString, name);
    QFETCH(int, pointSize);
    QFETCH(int, alignment);

    const auto *label = window->findChild<QLabel *>(name);
    QVERIFY(label);
    const QFont font = label->font();
    QCOMPARE(font.pointSize(), pointSize);
    QCOMPARE(font.weight(), int(QFont::Normal));
    QVERIFY(!font.bold());
    QVERIFY(!font.italic());
    // Only the size and weight differ from the default font.
    QCOMPARE(font.family(), QFont().family());
    QCOMPARE(int(label->alignment()), alignment);
}

void FormTest::texts()
{
    QCOMPARE(window->windowTitle(), QString("Kolvane Meters"));
    QCOMPARE(ui.actionCOM_port->text(), QString("COM-port"));
    QCOMPARE(ui.timelabel->text(), QString("System Time"));
    const QString footer = ui.footerlabel->text();
    QVERIFY2(footer.contains("Zelvoort"), qPrintable(footer));
    QVERIFY2(footer.endsWith(" - v1.6"), qPrintable(footer));
}

void FormTest::windowIconHoldsEverySize()
{
    const QIcon icon = window->windowIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes(QIcon::Normal, QIcon::Off);
    for (int side : {16, 24, 32, 48, 64, 256})
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
}

void FormTest::menuBarIsEmptyAndTheActionInNoMenu()
{
    QCOMPARE(window->menuBar(), ui.menuBar);
    QVERIFY(ui.menuBar->actions().isEmpty());
    QVERIFY(window->findChildren<QMenu *>().isEmpty());
    QVERIFY(ui.actionCOM_port->associatedWidgets().isEmpty());
    QVERIFY(ui.actionCOM_port->menu() == nullptr);
}

QTEST_MAIN(FormTest)
#include "tst_form.moc"
