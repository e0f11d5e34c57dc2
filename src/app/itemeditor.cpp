#include "app/itemeditor.h"
#include "app/uihelpers.h"

#include <QGridLayout>
#include <QLabel>

ItemEditor::ItemEditor(Session &session, QWidget *parent)
    : QGroupBox(QStringLiteral("快捷编辑区"), parent), m_session(session)
{
    setObjectName(QStringLiteral("Frame2"));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 4, 8, 6);
    grid->setVerticalSpacing(6);
    const struct { const char *name; const char *label; const char *tip; } boxes[] = {
        {"web_title", "网页标题：", "一般不超过80个字符"},
        {"web_key", "关键词：", "一般不超过100个字符"},
        {"web_doc", "页面描述：", "一般不超过200个字符"},
    };
    QLineEdit *edits[3];
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(QString::fromUtf8(boxes[i].label), this), i, 0);
        edits[i] = ui::textBox(this, boxes[i].name, kWorkTextLimit);
        edits[i]->setToolTip(QString::fromUtf8(boxes[i].tip));
        grid->addWidget(edits[i], i, 1);
    }
    m_title = edits[0];
    m_key = edits[1];
    m_doc = edits[2];
    auto *save = ui::button(this, "XPButton22", QStringLiteral("保存"));
    m_recollect = ui::button(this, "XPButton23", QStringLiteral("重新采集"));
    m_upload = ui::button(this, "XPButton24", QStringLiteral("更新上传"));
    const QList<QAbstractButton *> buttons{save, m_recollect, m_upload};
    for (int i = 0; i < 3; ++i) {
        buttons[i]->setMinimumWidth(95);
        grid->addWidget(buttons[i], i, 2);
    }
    grid->setColumnStretch(1, 1);
    connect(save, &QAbstractButton::clicked, this, &ItemEditor::save);
}

void ItemEditor::show(const QString &title, const QString &key, const QString &doc)
{
    m_title->setText(title);
    m_key->setText(key);
    m_doc->setText(doc);
    // What the boxes hold now, cut to their limit, is what counts as unchanged.
    m_loaded[0] = m_title->text();
    m_loaded[1] = m_key->text();
    m_loaded[2] = m_doc->text();
}

bool ItemEditor::changed() const
{
    return m_title->text() != m_loaded[0] || m_key->text() != m_loaded[1] || m_doc->text() != m_loaded[2];
}

void ItemEditor::load(const Session::EditorRow &row)
{
    m_recollecting.clear();
    // A row that was gone leaves the boxes as they are.
    if (!row.found)
        return;
    if (row.editable)
        show(row.webTitle, row.webKey, row.webDoc);
    else
        show({}, {}, {});
}

void ItemEditor::collected(const QString &item, const QString &title, const QString &doc, const QString &key)
{
    const bool asked = !m_recollecting.isEmpty() && item == m_recollecting;
    const bool ours = item == m_session.editorItem() && !changed();
    if (m_session.editorRow() != 0 && !asked && !ours)
        return;
    if (asked)
        m_recollecting.clear();
    show(title, key, doc);
}

void ItemEditor::save()
{
    const FieldCheck c = m_session.saveEdit(m_title->text(), m_key->text(), m_doc->text());
    if (!c.ok()) {
        if (auto *box = findChild<QLineEdit *>(c.focus))
            box->setFocus();
        return;
    }
    // What is stored is what the boxes show now.
    show(m_title->text(), m_key->text(), m_doc->text());
}
