#pragma once

#include "collect/detailstep.h"
#include "collect/liststep.h"
#include "convert/convertchannel.h"
#include "session/session.h"
#include "sim/simulator.h"
#include "testsupport.h"
#include "web/fetch.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

// A session on a fresh profile against its own simulator and its own network access, with the
// step intervals and time limits cut short; every status text it shows is kept in order.
struct Rig {
    TempProfile profile;
    ScriptedNotifier notes;
    Simulator sim;
    WebService web;
    Session session{notes, web};
    QStringList statuses;

    explicit Rig(SimOptions options = {}) : sim(std::move(options))
    {
        if (!sim.listen())
            qFatal("simulator cannot listen");
        qputenv("VELORIX_CONNECT_TO", QByteArray("127.0.0.1:") + QByteArray::number(sim.port()));
        session.opendb(profile.path());
        session.getsoftinfo();
        session.listStep().setIntervals(1, 1);
        session.detailStep().setIntervals(1, 20);
        for (ConvertChannel *c : {&session.channel1(), &session.channel2()}) {
            c->setTimeoutInterval(400);
            c->setRetryInterval(50);
        }
        web.setTransferTimeout(3000);
        QObject::connect(&session, &Session::status, [this](const QString &t) { statuses << t; });
    }

    ProfileDb &db() { return session.db(); }
    QString lastStatus() const { return statuses.value(statuses.size() - 1); }
    int count(const QString &where = QStringLiteral("1")) const
    {
        QSqlQuery q(const_cast<Rig *>(this)->session.db().database());
        q.exec(QStringLiteral("SELECT count(*) FROM itemlist WHERE ") + where);
        q.next();
        return q.value(0).toInt();
    }
    void exec(const QString &sql)
    {
        QSqlQuery q(db().database());
        if (!q.exec(sql))
            qWarning("failed: %s", qPrintable(sql));
    }

    // Runs Step 1 in a mode to its end; the outcome.
    StepOutcome::Kind collect(CollectMode mode = CollectMode::Resume, int ms = 10000)
    {
        QSignalSpy ended(&session.listStep(), &ListStep::ended);
        session.listStep().start(mode);
        if (!ended.wait(ms))
            return StepOutcome::Stopped;
        return ended.first().first().value<StepOutcome>().kind;
    }
    // Runs Step 2 from its button to its end; the outcome.
    StepOutcome::Kind detail(int ms = 20000)
    {
        QSignalSpy ended(&session.detailStep(), &DetailStep::ended);
        session.detailStep().click();
        if (!ended.wait(ms))
            return StepOutcome::Stopped;
        return ended.first().first().value<StepOutcome>().kind;
    }
};
