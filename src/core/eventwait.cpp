#include "eventwait.h"

#include <QCoreApplication>
#include <QEventLoop>

void waitUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
