#pragma once

#include "rules/rules.h"

#include <QString>

class Notifier;
class ProfileDb;
class RunLock;
class WebService;

// How a Step 1 run treats what is stored: go on from the last page and leave stored items
// alone, or start over from page 1 with every item back to not collected.
enum class CollectMode { Resume, Fresh };

// The working fields the steps share; the session holds them.
struct Pipeline {
    bool userpause = false;          // one pause flag for all three steps
    CollectMode collectmode = CollectMode::Resume;
    QString curitem;                 // Step 2's item
    QString manualitem;              // the manual add's item
    int convmode = 0;                // what channel 1 serves: 0 Step 2's item, 1 the shop
    bool shoplinkok = false;         // the shop was converted in this run
    QString shopclickurl;
    QString shopsid;                 // the operator's shop's seller ID
    QString shopAddress;             // the shop to collect, as the settings page holds it
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
