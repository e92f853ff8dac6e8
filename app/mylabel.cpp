#include "mylabel.h"

myLabel::myLabel(const QString &text, QWidget *parent) : QLabel(parent)
{
    setText(text);
}

myLabel::~myLabel() = default;

void myLabel::mouseReleaseEvent(QMouseEvent *)
{
    Q_EMIT clicked();
}
