#include "web/fetchresult.h"

QString FetchResult::reason() const
{
    switch (failure) {
    case Failure::None: return {};
    case Failure::BadAddress: return QStringLiteral("地址无效");
    case Failure::HostNotFound: return QStringLiteral("找不到主机");
    case Failure::Refused: return QStringLiteral("连接被拒绝");
    case Failure::NoAnswer: return QStringLiteral("网站无应答");
    case Failure::Timeout: return QStringLiteral("超时");
    case Failure::CutOff: return QStringLiteral("回复不完整");
    case Failure::TooLarge: return QStringLiteral("回复过大");
    case Failure::ErrorStatus: return QStringLiteral("网站返回错误 %1").arg(status);
    case Failure::Undecodable: return QStringLiteral("回复无法读取");
    }
    return QStringLiteral("未知错误");
}

QString FetchResult::logReason() const
{
    return withDetail(reason(), detail);
}

QString withDetail(const QString &reason, const QString &detail)
{
    if (detail.isEmpty() || detail == reason)
        return reason;
    return reason + QStringLiteral("（") + detail + QStringLiteral("）");
}
