#include "wizard/panimationlabel.h"

#include <QTest>
#include <QTimerEvent>

class tst_AnimationLabel : public QObject
{
    Q_OBJECT
private slots:
    void turnsAndResumes();
};

void tst_AnimationLabel::turnsAndResumes()
{
    PAnimationLabel label;
    // Delivers ticks of the given timer without waiting for them.
    const auto tick = [&](int times, int timer) {
        for (QTimerEvent event(timer); times > 0; --times)
            QCoreApplication::sendEvent(&label, &event);
    };
    const qint64 first = label.pixmap().cacheKey();
    QVERIFY(!label.pixmap().isNull());

    label.start();
    tick(1, label.timerId() + 1000); // someone else's timer
    QCOMPARE(label.currentFrame(), 0);
    tick(3, label.timerId());
    QVERIFY(label.pixmap().cacheKey() != first);
    const int stopped = label.timerId();
    label.stop();
    tick(1, stopped);
    QCOMPARE(label.currentFrame(), 3);

    // Restarting goes on from the frame shown; ten ticks make a full turn.
    label.start();
    tick(7, label.timerId());
    QCOMPARE(label.pixmap().cacheKey(), first);
    tick(10, label.timerId());
    QCOMPARE(label.pixmap().cacheKey(), first);
    QTRY_VERIFY(label.currentFrame() >= 2); // and its own timer turns it
}

QTEST_MAIN(tst_AnimationLabel)
#include "tst_animationlabel.moc"
