#pragma once

#include "collect/liststep.h"

#include <QDialog>

class QRadioButton;

// Form2: how a Step 1 run treats what is stored. Shown without blocking the main window;
// each opening starts from resume. OK starts the run in the chosen mode, Cancel changes nothing.
class ModeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ModeDialog(QWidget *parent = nullptr);

    CollectMode collectmode() const;

signals:
    void confirmed(CollectMode mode);

private:
    QRadioButton *m_resume, *m_fresh;
};
