#pragma once

#include <QLabel>

// A label that reports a mouse release on it as a click (any button).
class myLabel : public QLabel
{
    Q_OBJECT

public:
    explicit myLabel(const QString &text, QWidget *parent = nullptr);
    ~myLabel() override;

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
