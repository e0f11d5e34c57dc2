#include "app/rulespage.h"
#include "app/uihelpers.h"
#include "session/session.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

RulesPage::RulesPage(Session &session, QWidget *parent)
    : QGroupBox(QStringLiteral("采集替换规则"), parent), m_session(session)
{
    setObjectName(QStringLiteral("Frame4"));
    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(8, 0, 8, 2);
    box->setSpacing(2);
    m_title = makeGroup(QStringLiteral("标题："), columnsOf(&RuleSet::title), 50);
    m_key = makeGroup(QStringLiteral("关键词："), columnsOf(&RuleSet::key), 0);
    m_doc = makeGroup(QStringLiteral("描述："), columnsOf(&RuleSet::doc), 0);
    auto *saveButton = ui::button(this, "XPButton27", QStringLiteral("保存设置"));
    box->addWidget(saveButton, 0, Qt::AlignRight);
    box->addStretch(1);
    connect(saveButton, &QAbstractButton::clicked, this, &RulesPage::save);
    // The rules in force are what these controls hold, saved or not.
    for (QCheckBox *c : findChildren<QCheckBox *>())
        connect(c, &QCheckBox::toggled, this, &RulesPage::publish);
    for (QRadioButton *r : findChildren<QRadioButton *>())
        connect(r, &QRadioButton::toggled, this, &RulesPage::publish);
    for (QLineEdit *e : findChildren<QLineEdit *>())
        connect(e, &QLineEdit::textChanged, this, &RulesPage::publish);
    m_saved = rules();
}

namespace {
bool same(const RuleGroup &a, const RuleGroup &b)
{
    return a.replaceOn == b.replaceOn && a.find == b.find && a.replacement == b.replacement && a.addOn == b.addOn
           && a.addText == b.addText && a.addBefore == b.addBefore;
}
} // namespace

bool RulesPage::unsaved() const
{
    const RuleSet now = rules();
    return !same(now.title, m_saved.title) || !same(now.doc, m_saved.doc) || !same(now.key, m_saved.key);
}

void RulesPage::publish()
{
    m_session.setRules(rules());
}

RulesPage::Group RulesPage::makeGroup(const QString &title, const RuleColumns &columns, int maxLength)
{
    auto *frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("rulegroup_%1").arg(QLatin1String(columns.switches)));
    auto *grid = new QGridLayout(frame);
    grid->setContentsMargins(6, 1, 6, 1);
    grid->setVerticalSpacing(1);
    auto name = [](const QString &s) { return s.toLatin1(); };

    Group g;
    g.replace = new QCheckBox(QStringLiteral("替换"), frame);
    g.replace->setObjectName(columns.switchColumn(1));
    g.find = ui::lineEdit(frame, name(columns.textColumn(1)).constData(), maxLength);
    g.replacement = ui::lineEdit(frame, name(columns.textColumn(2)).constData(), maxLength);
    g.add = new QCheckBox(QStringLiteral("添加"), frame);
    g.add->setObjectName(columns.switchColumn(2));
    g.addText = ui::lineEdit(frame, name(columns.textColumn(3)).constData(), maxLength);
    g.positions = new QButtonGroup(frame);
    const QString captions[2] = {QStringLiteral("标题前"), QStringLiteral("标题后")};
    for (int i = 0; i < 2; ++i) {
        // One control array: both options carry the same name and their index.
        g.position[i] = new QRadioButton(captions[i], frame);
        g.position[i]->setObjectName(columns.switchColumn(3));
        g.position[i]->setProperty("index", i);
        g.positions->addButton(g.position[i], i);
    }
    g.position[1]->setChecked(true);

    // The three groups' boxes start at one place whatever their row label.
    auto *label = new QLabel(title, frame);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("关键词：")) + 4);
    grid->addWidget(label, 0, 0);
    grid->addWidget(g.replace, 0, 1);
    grid->addWidget(g.find, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("替换为"), frame), 0, 3);
    grid->addWidget(g.replacement, 0, 4, 1, 2);
    grid->addWidget(g.add, 1, 1);
    grid->addWidget(g.addText, 1, 2);
    grid->addWidget(g.position[0], 1, 4);
    grid->addWidget(g.position[1], 1, 5);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(4, 1);
    static_cast<QVBoxLayout *>(layout())->addWidget(frame);

    // The handlers take the group by its member, which outlives every click.
    Group *member = columns.group == &RuleSet::title ? &m_title : columns.group == &RuleSet::key ? &m_key : &m_doc;
    connect(g.replace, &QCheckBox::clicked, this, [member] { replaceClicked(*member); });
    connect(g.add, &QCheckBox::clicked, this, [member] { addClicked(*member); });
    return g;
}

void RulesPage::replaceClicked(Group &g)
{
    const bool on = g.replace->isChecked();
    for (QLineEdit *box : {g.find, g.replacement}) {
        box->setEnabled(on);
        ui::setBackground(box, on ? ui::kWhite : ui::kGrey);
    }
    if (on)
        g.find->setFocus();
}

void RulesPage::addClicked(Group &g)
{
    const bool on = g.add->isChecked();
    g.addText->setEnabled(on);
    g.position[0]->setEnabled(on);
    g.position[1]->setEnabled(on);
    ui::setBackground(g.addText, on ? ui::kWhite : ui::kGrey);
    if (on)
        g.addText->setFocus();
}

void RulesPage::loadGroup(Group &g, const RuleGroup &stored)
{
    // A switch that goes from clear to ticked runs its click handler, as a click would.
    const bool replaceWas = g.replace->isChecked(), addWas = g.add->isChecked();
    g.replace->setChecked(stored.replaceOn);
    if (!replaceWas && stored.replaceOn)
        replaceClicked(g);
    g.add->setChecked(stored.addOn);
    if (!addWas && stored.addOn)
        addClicked(g);
    g.position[stored.addBefore ? 0 : 1]->setChecked(true);
    g.find->setText(stored.find);
    g.replacement->setText(stored.replacement);
    g.addText->setText(stored.addText);
    // A switch stored clear greys its boxes but leaves them enabled.
    if (!stored.replaceOn) {
        ui::setBackground(g.find, ui::kGrey);
        ui::setBackground(g.replacement, ui::kGrey);
    }
    if (!stored.addOn) {
        ui::setBackground(g.addText, ui::kGrey);
        g.position[0]->setEnabled(false);
        g.position[1]->setEnabled(false);
    }
}

void RulesPage::load(const SoftConfig &config)
{
    loadGroup(m_title, config.rules.title);
    loadGroup(m_doc, config.rules.doc);
    loadGroup(m_key, config.rules.key);
    m_saved = rules();
}

RuleGroup RulesPage::ruleOf(const Group &g)
{
    RuleGroup r;
    r.replaceOn = g.replace->isChecked();
    r.find = g.find->text();
    r.replacement = g.replacement->text();
    r.addOn = g.add->isChecked();
    r.addText = g.addText->text();
    r.addBefore = g.position[0]->isChecked();
    return r;
}

RuleSet RulesPage::rules() const
{
    return {ruleOf(m_title), ruleOf(m_doc), ruleOf(m_key)};
}

bool RulesPage::save()
{
    const RuleSet now = rules();
    const FieldCheck c = m_session.saveRules(now);
    if (!c.ok()) {
        if (auto *box = findChild<QLineEdit *>(c.focus))
            box->setFocus();
        return false;
    }
    m_saved = now;
    return true;
}
