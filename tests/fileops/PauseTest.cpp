// The pause after a floppy format: the window stays painted, nothing the user does gets through,
// and nothing is replayed afterwards; the caller is shown what was dropped.

#include "fileops/Format.h"
#include "support/TestMain.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace orvalt;

class PauseTest : public QObject
{
    Q_OBJECT

private slots:
    void inputIsDroppedAndOtherEventsRun()
    {
        QLineEdit edit;
        edit.setObjectName(QStringLiteral("box"));
        edit.show();
        bool ran = false;
        bool visibleAfterClose = false;
        QTimer::singleShot(0, &edit, [&] {
            ran = true;
            QTest::keyClicks(&edit, QStringLiteral("abc"));
            QCoreApplication::postEvent(
                &edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
            edit.close();
            visibleAfterClose = edit.isVisible();
        });
        QStringList dropped; // what the caller is shown of the input dropped
        pauseWithoutInput(50, [&dropped](QObject* watched, QEvent* event) {
            if (event->type() == QEvent::KeyPress)
                dropped << static_cast<QKeyEvent*>(event)->text() + QLatin1Char('@') + watched->objectName();
        });
        QVERIFY(ran); // timers and painting go on
        QCOMPARE(dropped, (QStringList{"a@box", "b@box", "c@box", "x@box"}));
        QVERIFY(visibleAfterClose);
        QCoreApplication::processEvents();
        QCOMPARE(edit.text(), QString()); // the queued key was dropped, not kept for later

        QTest::keyClicks(&edit, QStringLiteral("ok"));
        QCOMPARE(edit.text(), QStringLiteral("ok")); // the filter is gone
    }
};

ORVALT_TEST(PauseTest);
#include "PauseTest.moc"
