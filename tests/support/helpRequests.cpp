#include "helpRequests.h"

#include <QDesktopServices>

HelpRequests::HelpRequests()
{
    QDesktopServices::setUrlHandler(QStringLiteral("quillory-help"), this, "open");
}

HelpRequests::~HelpRequests()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("quillory-help"));
}
