// The reference: the least a Qt program does to show one tray icon with a menu.
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkBlue);
    QMenu menu;
    menu.addAction(QStringLiteral("About"));
    menu.addSeparator();
    menu.addAction(QStringLiteral("Exit"), &app, &QCoreApplication::quit);
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.setToolTip(QStringLiteral("minimal"));
    icon.setContextMenu(&menu);
    icon.show();
    return app.exec();
}
