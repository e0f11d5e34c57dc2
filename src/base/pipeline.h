#pragma once

#include "rules/rules.h"

#include <QString>

class Notifier;
class ProfileDb;
class RunLock;
class WebService;

// What the steps share; the session holds it. Everything else a step works with is its own.
struct Pipeline {
    bool userpause = false;          // one pause flag for all three steps
    QString shopAddress;             // the shop to collect, as the settings page holds it
    QString shopsid;                 // the operator's shop's seller ID
};

// What every step works with; the session hands in its own, a test or the runner theirs.
struct Services {
    ProfileDb &db;
    Notifier &notifier;
    WebService &web;
    Pipeline &shared;
    const RuleSet &rules;            // the rules in force
    RunLock &runLock;                // held while any step or action runs
};
