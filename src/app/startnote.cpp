#include "app/startnote.h"
#include "store/profiledb.h"

QString startnote::firstSteps(const std::optional<SoftConfig> &config)
{
    const bool site = config && !config->web_server.trimmed().isEmpty();
    const bool shop = config && !config->guest_shop.trimmed().isEmpty();
    if (site && shop)
        return {};
    QString what;
    if (!site && !shop)
        what = QStringLiteral("店铺地址和网站信息");
    else
        what = shop ? QStringLiteral("网站信息") : QStringLiteral("店铺地址");
    return QStringLiteral("第一次使用：请先点“综合设置”，填写%1并保存，然后点“第一步”读取店铺宝贝").arg(what);
}

QString startnote::lastRun(const RunRecord &r)
{
    QString outcome;
    switch (r.status) {
    case 0: outcome = QStringLiteral("完成"); break;
    case 3: outcome = QStringLiteral("被中断"); break;
    case 4: outcome = QStringLiteral("未能打开数据库"); break;
    case 11: case 12: case 13: outcome = QStringLiteral("第%1步出错停止").arg(r.status - 10); break;
    default: outcome = QStringLiteral("出错停止"); break;
    }
    return QStringLiteral("上次定时运行 %1 结束：%2（退出状态 %3），本次上传 %4 件，待上传 %5 件，上传失败 %6 件，状态不正常 %7 件")
        .arg(r.ended.toString(QStringLiteral("yyyy-MM-dd HH:mm")), outcome)
        .arg(r.status)
        .arg(r.uploadedNow)
        .arg(r.waiting)
        .arg(r.refused)
        .arg(r.abnormal);
}
