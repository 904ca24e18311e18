#include "wizard/panimationlabel.h"

#include <QTest>
#include <QTimerEvent>

class tst_AnimationLabel : public QObject
{
    Q_OBJECT
private slots:
    void turnsAndResumes();
};

// Delivers ticks of the given timer without waiting for them.
static void tick(PAnimationLabel &label, int times, int timer)
{
    for (int i = 0; i < times; ++i) {
        QTimerEvent event(timer);
        QCoreApplication::sendEvent(&label, &event);
    }
}

void tst_AnimationLabel::turnsAndResumes()
{
    PAnimationLabel label(nullptr);
    const qint64 first = label.pixmap().cacheKey();
    QVERIFY(!label.pixmap().isNull());

    label.start();
    tick(label, 1, label.timerId() + 1000); // someone else's timer
    QCOMPARE(label.currentFrame(), 0);
    tick(label, 3, label.timerId());
    QVERIFY(label.pixmap().cacheKey() != first);
    const int stopped = label.timerId();
    label.stop();
    tick(label, 1, stopped);
    QCOMPARE(label.currentFrame(), 3);

    // Restarting goes on from the frame shown; ten ticks make a full turn.
    label.start();
    tick(label, 7, label.timerId());
    QCOMPARE(label.currentFrame(), 0);
    QCOMPARE(label.pixmap().cacheKey(), first);
    tick(label, 10, label.timerId());
    QCOMPARE(label.pixmap().cacheKey(), first);
    QTRY_VERIFY(label.currentFrame() >= 2); // and its own timer turns it
}

QTEST_MAIN(tst_AnimationLabel)
#include "tst_animationlabel.moc"
