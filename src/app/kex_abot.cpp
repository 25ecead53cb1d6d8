#include "kex_abot.h"

#include "app/app_icon.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace varnel {

TAboutDialog::TAboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(298, 213);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(8, 8, 281, 161);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(8, 8, 65, 57);
    // The picture fills its frame; the square icon keeps its proportions in the middle of it
    // rather than being stretched out of shape.
    ProgramIcon->setAlignment(Qt::AlignCenter);
    const int side = std::min(ProgramIcon->width(), ProgramIcon->height());
    ProgramIcon->setPixmap(AppIcon().pixmap(QSize(side, side), devicePixelRatioF()));

    auto label = [this](const char* name, QRect r, const QString& designText) {
        auto* l = new QLabel(designText, Panel1);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(r);
        return l;
    };
    ProductNameLabel = label("ProductNameLabel", QRect(88, 16, 180, 18), QStringLiteral("Product Name"));
    VersionLabel = label("VersionLabel", QRect(88, 40, 180, 18), QStringLiteral("Version"));
    CopyrightLabel = label("CopyrightLabel", QRect(8, 80, 265, 18), QStringLiteral("Copyright"));
    CommentsLabel = label("CommentsLabel", QRect(8, 104, 265, 18), QStringLiteral("Comments"));
    CommentsLabel->setWordWrap(true);
    // Below the comments line, which stays empty: the licence is said in a label of its own.
    LicenceLabel = label("LicenceLabel", QRect(8, 122, 265, 32),
                         QStringLiteral("Free software under the GNU General Public License, "
                                        "version 3 or later; no warranty."));
    LicenceLabel->setWordWrap(true);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 180, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutDialog::FormActivate() {
    ProductNameLabel->setText(QStringLiteral("Varnel"));
    VersionLabel->setText(QStringLiteral("V1.1 8/2/2002 "));
    CopyrightLabel->setText(QStringLiteral("Copyright (C) the Varnel developers"));
    CommentsLabel->setText(QString());
}

void TAboutDialog::showEvent(QShowEvent* e) {
    // Before the first paint, so the designed captions never show.
    FormActivate();
    QDialog::showEvent(e);
}

}  // namespace varnel
