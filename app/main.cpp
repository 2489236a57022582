#include "app/mainwindow.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (QStyle *fusion = QStyleFactory::create("Fusion"))
        QApplication::setStyle(fusion);
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = QApplication::exec();
    }
    return result;
}
