#include "session/progress.h"

#include <QStringList>
#include <cmath>

namespace {

QString duration(double seconds)
{
    const qint64 s = qint64(std::ceil(seconds));
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

void Progress::begin(Phase phase, int total)
{
    Track &t = m_tracks[phase];
    t = Track{};
    t.on = true;
    t.total = total;
    t.clock.start();
    m_last = phase;
    emit changed(text());
}

void Progress::update(Phase phase, int done, int total)
{
    Track &t = m_tracks[phase];
    if (!t.on)
        return;
    // The first figure of a run that resumes counts as already done, not as speed.
    if (t.done == 0 && t.base == 0 && done > 1 && phase == List)
        t.base = done - 1;
    t.done = done;
    t.total = qMax(total, done);
    m_last = phase;
    emit changed(text());
}

void Progress::advance(Phase phase)
{
    const Track &t = m_tracks[phase];
    update(phase, t.done + 1, t.total);
}

void Progress::end(Phase phase)
{
    if (!m_tracks[phase].on)
        return;
    m_tracks[phase].on = false;
    emit changed(text());
}

bool Progress::active() const
{
    for (const Track &t : m_tracks)
        if (t.on)
            return true;
    return false;
}

double Progress::rate(Phase phase) const
{
    const Track &t = m_tracks[phase];
    const int counted = t.done - t.base;
    const double seconds = t.clock.elapsed() / 1000.0;
    return counted >= kUnitsForEstimate && seconds > 0 ? counted / seconds : 0;
}

QString Progress::line(Phase phase) const
{
    static const char *const names[] = {"第一步", "第二步", "第三步"};
    const Track &t = m_tracks[phase];
    const QString unit = phase == List ? QStringLiteral("页") : QStringLiteral("件");
    QString s = QStringLiteral("%1 %2/%3%4").arg(QString::fromUtf8(names[phase])).arg(t.done).arg(t.total).arg(unit);
    if (const double r = rate(phase); r > 0) {
        s += QStringLiteral(" · %1%2/秒").arg(r, 0, 'f', r < 10 ? 1 : 0).arg(unit);
        if (t.total > t.done)
            s += QStringLiteral(" · 约剩%1").arg(duration((t.total - t.done) / r));
    }
    return s;
}

QString Progress::brief() const
{
    const Track &t = m_tracks[m_last];
    if (!t.on)
        return {};
    QString s = QStringLiteral("%1/%2").arg(t.done).arg(t.total);
    if (const double r = rate(m_last); r > 0 && t.total > t.done)
        s += QStringLiteral(" 约剩%1").arg(duration((t.total - t.done) / r));
    return s;
}

QString Progress::text() const
{
    QStringList lines;
    for (int s = List; s <= Upload; ++s)
        if (m_tracks[s].on)
            lines << line(Phase(s));
    return lines.join(QStringLiteral("  "));
}

double Progress::share() const
{
    const Track &t = m_tracks[m_last];
    return t.total > 0 ? qBound(0.0, double(t.done) / t.total, 1.0) : 0.0;
}
