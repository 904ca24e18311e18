#pragma once

#include <QLabel>
#include <QList>
#include <QPixmap>

// A small label that turns through ten pictures while something loads.
class PAnimationLabel : public QLabel
{
    Q_OBJECT
public:
    explicit PAnimationLabel(QWidget *parent = nullptr);

    int currentFrame() const { return m_frame; }
    int timerId() const { return m_timerId; }

public slots:
    void start();
    void stop();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    QList<QPixmap> m_frames;
    int m_timerId = 0;
    int m_frame = 0;
};
