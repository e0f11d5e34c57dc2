#pragma once

#include "rules/rules.h"

#include <QGroupBox>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QRadioButton;
class Session;
struct SoftConfig;

// "采集替换规则": the replace and add rules of the title, keywords and description.
// The rules in force are always what these controls hold, saved or not.
class RulesPage : public QGroupBox
{
    Q_OBJECT
public:
    RulesPage(Session &session, QWidget *parent = nullptr);

    RuleSet rules() const;
    void load(const SoftConfig &config);

    // The controls differ from the rules loaded or last saved.
    bool unsaved() const;
    // XPButton27: true when the rules were checked and stored.
    bool save();

private:
    struct Group {
        QCheckBox *replace;
        QLineEdit *find, *replacement;
        QCheckBox *add;
        QLineEdit *addText;
        QRadioButton *position[2];
        QButtonGroup *positions;
    };
    Group makeGroup(const QString &title, const RuleColumns &columns, int maxLength);
    static RuleGroup ruleOf(const Group &g);
    static void replaceClicked(Group &g);
    static void addClicked(Group &g);
    static void loadGroup(Group &g, const RuleGroup &stored);
    void publish();

    Session &m_session;
    Group m_title, m_key, m_doc;
    RuleSet m_saved;   // as loaded or last saved
};
