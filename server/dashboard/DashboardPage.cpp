#include "DashboardPage.h"

namespace collector {

QByteArray DashboardPage::render(const QJsonObject&)
{
    return QByteArrayLiteral("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                             "<title>Lumivue collector</title></head><body></body></html>");
}

} // namespace collector
