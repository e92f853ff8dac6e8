#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QMetaProperty>
#include <QObject>
#include <QTest>
#include <QWidget>

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) : QObject(widget) { widget->installEventFilter(this); }
    int count() const { return paints; }
    void reset() { paints = 0; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private:
    int paints = 0;
};

// Delivers pending update requests, so that every repaint asked for so far has happened.
inline void flushPaints()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Shows the widget and waits until its first paints are over.
inline bool showAndSettle(QWidget &widget)
{
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        return false;
    flushPaints();
    return true;
}

// Columns of a property table check: position, name, type name and default value.
inline void addPropertyTableColumns()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typeName");
    QTest::addColumn<QVariant>("defaultValue");
}

inline void addPropertyRow(int index, const char *name, const char *typeName, const QVariant &defaultValue)
{
    QTest::newRow(name) << index << QString::fromLatin1(name) << QString::fromLatin1(typeName)
                        << defaultValue;
}

// Checks one row of a property table against a freshly constructed object's meta-object.
// The property must be readable, writable, designable, scriptable and stored, without notify
// signal or reset.
#define CHECK_PROPERTY_ROW(object)                                                                           \
    do {                                                                                                     \
        QFETCH(int, index);                                                                                  \
        QFETCH(QString, name);                                                                               \
        QFETCH(QString, typeName);                                                                           \
        QFETCH(QVariant, defaultValue);                                                                      \
        const QMetaObject *meta = (object).metaObject();                                                     \
        QVERIFY(meta->propertyOffset() + index < meta->propertyCount());                                     \
        const QMetaProperty property = meta->property(meta->propertyOffset() + index);                       \
        QCOMPARE(QString::fromLatin1(property.name()), name);                                                \
        QCOMPARE(QString::fromLatin1(property.typeName()), typeName);                                        \
        QVERIFY(property.isReadable());                                                                      \
        QVERIFY(property.isWritable());                                                                      \
        QVERIFY(property.isDesignable());                                                                    \
        QVERIFY(property.isScriptable());                                                                    \
        QVERIFY(property.isStored());                                                                        \
        QVERIFY(!property.hasNotifySignal());                                                                \
        QVERIFY(!property.isResettable());                                                                   \
        QCOMPARE(property.read(&(object)), defaultValue);                                                    \
    } while (false)

// True when every channel of the two colours differs by at most the tolerance.
inline bool nearColor(const QColor &actual, const QColor &expected, int tolerance = 2)
{
    return qAbs(actual.red() - expected.red()) <= tolerance &&
           qAbs(actual.green() - expected.green()) <= tolerance &&
           qAbs(actual.blue() - expected.blue()) <= tolerance &&
           qAbs(actual.alpha() - expected.alpha()) <= tolerance;
}

inline QImage grabImage(QWidget &widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}
