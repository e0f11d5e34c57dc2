#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>

// How far the running steps are: Step 1 in pages of the page count, Step 2 in items collected
// of those waiting when it started, Step 3 in items uploaded of those waiting; with the rate
// and the time left once a few units are done. Fed by the steps' own signals.
class Progress : public QObject
{
    Q_OBJECT
public:
    enum Phase { List, Detail, Upload };
    // Units done before the rate and the time left are shown.
    static constexpr int kUnitsForEstimate = 3;

    using QObject::QObject;

    void begin(Phase phase, int total);
    // done: units finished (for the list: the page just read); total may grow as it is learnt.
    void update(Phase phase, int done, int total);
    void advance(Phase phase);
    void end(Phase phase);

    bool active() const;
    // One line for all running steps; empty when none runs.
    QString text() const;
    // The share done of the step that moved last, 0 to 1, and a short text of it (for a bar).
    double share() const;
    QString brief() const;

signals:
    void changed(const QString &text);

private:
    struct Track {
        bool on = false;
        int done = 0, total = 0, base = 0;   // base: units already done when the step began
        QElapsedTimer clock;
    };
    QString line(Phase phase) const;
    double rate(Phase phase) const;   // units a second, 0 before there is an estimate

    std::array<Track, 3> m_tracks;
    Phase m_last = List;
};
