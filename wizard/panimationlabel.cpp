#include "panimationlabel.h"

#include <QTimerEvent>

static constexpr int FrameCount = 10;
static constexpr int FrameInterval = 100; // ms: one turn a second

PAnimationLabel::PAnimationLabel(QWidget *parent) : QLabel(parent)
{
    setFixedSize(44, 44);
    for (int i = 1; i <= FrameCount; ++i)
        m_frames.append(QPixmap(QStringLiteral(":/loading_%1").arg(i)));
    setPixmap(m_frames.first());
}

void PAnimationLabel::start()
{
    // Started twice, it would leave a timer behind that nobody stops.
    if (m_timerId != 0)
        return;
    m_timerId = startTimer(FrameInterval);
}

void PAnimationLabel::stop()
{
    if (m_timerId != 0)
        killTimer(m_timerId);
    m_timerId = 0;
}

void PAnimationLabel::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId || m_timerId == 0) {
        QLabel::timerEvent(event);
        return;
    }
    m_frame = (m_frame + 1) % FrameCount;
    setPixmap(m_frames.at(m_frame));
}
