#include "store/itemstate.h"
#include "store/profiledb.h"

bool itemstate::refused(int state, int itemstate, int errcode)
{
    return itemstate == 0 && errcode != 0 && state != Uploaded;
}

bool itemstate::waitingForCollection(int state, int itemstate)
{
    return state == NotCollected && itemstate == 0;
}

bool itemstate::waitingForUpload(int state, int itemstate, int errcode)
{
    return errcode == 0 && itemstate == 0 && (state == Collected || state == Edited);
}

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

QString listlabel(const ItemListRow &r)
{
    if (itemstate::refused(r.state, r.itemstate, r.errcode))
        return QStringLiteral("上传失败");
    return statelabel(r.state, r.itemstate);
}

QString needreason(const ItemListRow &r)
{
    if (r.itemstate != 0) {
        // Set aside by a step with why (a refusal's reason belongs to the refusal).
        if (r.errcode == 0 && !r.errdecription.isEmpty())
            return QStringLiteral("状态不正常：") + r.errdecription;
        switch (r.abnormal) {
        case ItemListRow::Abnormal::NoTitle: return QStringLiteral("状态不正常：宝贝标题为空，无法上传");
        case ItemListRow::Abnormal::NoDescription: return QStringLiteral("状态不正常：没有宝贝描述地址，无法上传，请重新采集");
        case ItemListRow::Abnormal::PageGone: break;
        }
        return QStringLiteral("状态不正常：宝贝页面显示该宝贝已不存在或暂不提供查看");
    }
    if (itemstate::refused(r.state, r.itemstate, r.errcode))
        return QStringLiteral("上传失败：") + r.errdecription;
    return {};
}
