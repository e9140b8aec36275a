#include "platform/Transfer.h"

namespace platform {

QString PeerText(const QString& Text)
{
    if (Text.size() <= MaxPeerText)
        return Text;
    return Text.left(MaxPeerText) + QChar(0x2026);
}

} // namespace platform
