#include "outside/outside.h"

namespace outside {

QString itemPageAddress(const QString &itemId)
{
    return QStringLiteral("http://") + itemHost + QStringLiteral("/item.htm?id=") + itemId;
}

} // namespace outside
