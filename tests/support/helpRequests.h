#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Catches the help requests ("quillory-help:" addresses) a window or dialog makes while
// it lives, instead of opening the help viewer.
class HelpRequests : public QObject
{
    Q_OBJECT
public:
    HelpRequests();
    ~HelpRequests() override;
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};
