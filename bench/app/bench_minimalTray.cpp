// The reference: the least a Qt program does to show one tray icon.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkBlue);
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.setToolTip(QStringLiteral("minimal"));
    icon.show();
    return app.exec();
}
