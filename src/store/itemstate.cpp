#include "store/itemstate.h"

QString statelabel(int state, int itemstate)
{
    if (itemstate != 0)
        return QStringLiteral("状态不正常");
    switch (state) {
    case itemstate::NotCollected: return QStringLiteral("未采集");
    case itemstate::Collected: return QStringLiteral("已采集");
    case itemstate::Edited: return QStringLiteral("已修改");
    case itemstate::Uploaded: return QStringLiteral("已上传");
    }
    // Never written by the program; show the raw code rather than a wrong label.
    return QStringLiteral("未知状态(%1)").arg(state);
}
