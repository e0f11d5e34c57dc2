#pragma once

#include "session/session.h"

#include <QGroupBox>

class QLineEdit;
class QAbstractButton;

// Frame2, "快捷编辑区": the page title, keywords and description of the row in the editor.
// The three boxes belong to that row: texts a collection builds for another item never land
// in them, and a save stores what the boxes show into the row they were loaded from.
class ItemEditor : public QGroupBox
{
    Q_OBJECT
public:
    ItemEditor(Session &session, QWidget *parent = nullptr);

    // A list row became the editor's row; the session has looked it up.
    void load(const Session::EditorRow &row);
    // Texts a collection has just built for an item. They are shown while no row is in the
    // editor, or when the item is the editor's row and the boxes still hold what was loaded,
    // or when the operator asked for this item's re-collection.
    void collected(const QString &item, const QString &title, const QString &doc, const QString &key);
    // The operator asked for the editor row's re-collection: its texts replace the boxes'.
    void expectRecollection(const QString &item) { m_recollecting = item; }

    // The operator has changed the boxes since they were loaded.
    bool changed() const;

    QLineEdit *titleBox() const { return m_title; }
    QAbstractButton *recollectButton() const { return m_recollect; }
    QAbstractButton *uploadButton() const { return m_upload; }

private:
    void show(const QString &title, const QString &key, const QString &doc);
    void save();

    Session &m_session;
    QLineEdit *m_title, *m_key, *m_doc;
    QAbstractButton *m_recollect, *m_upload;
    QString m_loaded[3];        // what the boxes were given: title, keywords, description
    QString m_recollecting;
};
