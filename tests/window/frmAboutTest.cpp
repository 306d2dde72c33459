#include "window/frmAbout.h"

#include "OrvaltVersion.h"
#include "core/ResourceTexts.h"
#include "support/TestMain.h"
#include "window/ApplyResourceTexts.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace orvalt;

class frmAboutTest : public QObject
{
    Q_OBJECT

private slots:
    void texts()
    {
        QWidget owner;
        auto* about = new frmAbout(&owner);
        QCOMPARE(about->windowTitle(), QStringLiteral("Version"));
        QCOMPARE(about->lblTitle()->text(), QStringLiteral("ORVALT"));
        QCOMPARE(about->lblVersion()->text(), QStringLiteral("Version 1.3"));
        // The box names the release the programs' --version and the package carry.
        QCOMPARE(about->lblVersion()->text(),
                 QStringLiteral("Version %1.%2").arg(ORVALT_VERSION_MAJOR).arg(ORVALT_VERSION_MINOR));
        QCOMPARE(about->cmdOK()->text(), QStringLiteral("OK"));
        QCOMPARE(about->lblDescription()->property(ResourceTexts::kTagProperty).toString(),
                 QStringLiteral("2002-2005"));
        QVERIFY(!about->picIcon()->pixmap().isNull());
        QVERIFY(!about->isModal());
        QCOMPARE(about->parentWidget(), &owner);
    }

    void descriptionLines()
    {
        frmAbout about;
        const QString description = about.lblDescription()->text();
        QVERIFY(description.endsWith(QStringLiteral("\r\n")));
        const QStringList lines = description.split(QStringLiteral("\r\n"));
        QCOMPARE(lines,
                 QStringList({QStringLiteral("KD7350 Series"), QStringLiteral("   "),
                              QStringLiteral("   Support Software."), QStringLiteral("   "), QString()}));
    }

    void okClosesAndUnloads()
    {
        QWidget owner;
        QPointer<frmAbout> about = new frmAbout(&owner);
        about->show();
        about->cmdOK()->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(about.isNull());
    }
};

ORVALT_TEST(frmAboutTest);
#include "frmAboutTest.moc"
