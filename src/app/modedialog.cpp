#include "app/modedialog.h"
#include "app/uihelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

ModeDialog::ModeDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("请选择采集模式"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *column = new QVBoxLayout(this);
    m_resume = new QRadioButton(QStringLiteral("断点续采"), this);
    m_resume->setObjectName(QStringLiteral("Option1"));
    m_fresh = new QRadioButton(QStringLiteral("全新采集"), this);
    m_fresh->setObjectName(QStringLiteral("Option2"));
    m_resume->setChecked(true);
    auto *options = new QHBoxLayout;
    options->addWidget(m_resume);
    options->addWidget(m_fresh);
    column->addLayout(options);
    auto *hint = new QLabel(QStringLiteral("全新采集会先把数据库备份为 Profile-日期-时间.db（保留最近三份），\n"
                                           "再把所有宝贝重置为未采集，并从第一页重新读取"),
                            this);
    hint->setStyleSheet(QStringLiteral("color: #808080"));
    column->addWidget(hint);
    auto *ok = ui::button(this, "XPButton21", QStringLiteral("确定"));
    auto *cancel = ui::button(this, "XPButton22", QStringLiteral("取消"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    column->addLayout(buttons);
    connect(ok, &QAbstractButton::clicked, this, [this] {
        emit confirmed(collectmode());
        close();
    });
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::close);
}

CollectMode ModeDialog::collectmode() const
{
    return m_fresh->isChecked() ? CollectMode::Fresh : CollectMode::Resume;
}
