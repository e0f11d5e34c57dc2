#pragma once

#include <QString>

// How one fetch or post ended, in one value: what came back, the HTTP status, and when it is not
// an answer, the class of the failure with Qt's own words for the log. Callers decide from the
// class; the operator reads reason(), a short fixed phrase in Chinese.
struct FetchResult {
    enum class Failure {
        None,
        BadAddress,    // nothing a request can be made to
        HostNotFound,  // the host name does not resolve
        Refused,       // the connection was refused
        NoAnswer,      // the connection went down before any answer began
        Timeout,       // no answer, or not all of it, within the time allowed
        CutOff,        // the answer began and then broke off
        TooLarge,      // more than the fetch takes
        ErrorStatus,   // HTTP 400 or above: an error page is not an answer
        Undecodable,   // not a usable HTTP answer: bad compression, endless redirects
    };

    QString text;                   // the answer as text; empty for every failure
    int status = 0;                 // the HTTP status, 0 when none came
    Failure failure = Failure::None;
    QString detail;                 // the network stack's own words, for the log only

    bool ok() const { return failure == Failure::None; }
    // The server was reached and began an answer, whatever became of it.
    bool reached() const { return status > 0; }

    // "连接被拒绝", "超时", "网站返回错误 503", ...; empty for an answer.
    QString reason() const;
    // The reason with the detail, for the run log.
    QString logReason() const;

    static FetchResult answer(const QString &text, int status = 200) { return {text, status, Failure::None, {}}; }
    static FetchResult failed(Failure failure, const QString &detail, int status = 0)
    {
        return {QString(), status, failure, detail};
    }
};

// The reason with the detail in brackets when there is one: what the log keeps of a failure.
QString withDetail(const QString &reason, const QString &detail);
