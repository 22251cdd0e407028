#include "formQuilloryAbout.h"

#include "uSystemInfo.h"
#include "uVersionInfo.h"
#include "uWidgets.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

TAboutBox::TAboutBox(QWidget* owner, const QString& executablePath, const QString& favouritesFolder)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    Panel1 = Make<QFrame>(this, "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ProgramIcon = Make<QLabel>(Panel1, "ProgramIcon");
    ProgramIcon->setFixedSize(65, 57);
    ProgramIcon->setAlignment(Qt::AlignCenter);
    ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(QSize(57, 57)));

    auto label = [this](const char* name, const QString& caption) {
        auto* l = Make<QLabel>(Panel1, name, caption);
        l->setTextFormat(Qt::PlainText);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    lblProductName = label("lblProductName", QStringLiteral("Product Name"));
    lblVersion = label("lblVersion", QStringLiteral("Version"));
    lblCopyright = label("lblCopyright", QStringLiteral("Copyright"));
    lblComments = label("lblComments", QStringLiteral("Comments"));
    lblComments->setWordWrap(true);
    lblComments->setMinimumHeight(37);
    lblComments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblAge = label("lblAge", QStringLiteral("Age"));
    // Installed copies keep the favourites in the user's data folder, not beside the
    // program: the box says where, for backups and moves.
    lblFavourites = label("lblFavourites", QString());
    lblFavourites->setWordWrap(true);

    // Icon with name and version beside it, then the longer lines under both.
    auto* panelLayout = new QGridLayout(Panel1);
    panelLayout->setContentsMargins(8, 8, 8, 8);
    panelLayout->setHorizontalSpacing(15);
    auto* titleLines = new QVBoxLayout;
    titleLines->setSpacing(8);
    titleLines->addWidget(lblProductName);
    titleLines->addWidget(lblVersion);
    titleLines->addStretch();
    panelLayout->addWidget(ProgramIcon, 0, 0, Qt::AlignTop);
    panelLayout->addLayout(titleLines, 0, 1);
    panelLayout->addWidget(lblCopyright, 1, 0, 1, 2);
    panelLayout->addWidget(lblComments, 2, 0, 1, 2);
    panelLayout->addWidget(lblAge, 3, 0, 1, 2);
    panelLayout->addWidget(lblFavourites, 4, 0, 1, 2);

    OKButton = Make<QPushButton>(this, "OKButton", QStringLiteral("OK"));
    OKButton->setDefault(true);
    OKButton->setFixedSize(75, 25);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Panel1, 1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);

    FormCreate(executablePath.isEmpty() ? platform::ExecutablePath() : executablePath, favouritesFolder);

    // Fixed size: the designed 298 x 213, or larger where this desktop's fonts need it.
    setFixedSize(sizeHint().expandedTo(QSize(298, 213)));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QString TAboutBox::CompiledText(const QDateTime& modified)
{
    return QLocale().toString(modified, QStringLiteral("dd-MMM-yyyy hh:mm"));
}

void TAboutBox::FormCreate(const QString& executablePath, const QString& favouritesFolder)
{
    const std::pair<QLabel*, const char*> pairs[] = {{lblProductName, "ProductName"},
                                                     {lblVersion, "FileVersion"},
                                                     {lblCopyright, "LegalCopyright"},
                                                     {lblComments, "Comments"}};
    for (const auto& [label, key] : pairs)
        label->setText(label->text() + QStringLiteral(" : ") + GetVersionString(QLatin1String(key)));

    const QFileInfo exe(executablePath);
    if (exe.exists())
        lblAge->setText(QStringLiteral("Compiled : ") + CompiledText(exe.lastModified()));
    lblFavourites->setText(QStringLiteral("Favourites : ") + QDir::toNativeSeparators(favouritesFolder));
    lblFavourites->setVisible(!favouritesFolder.isEmpty());
}
