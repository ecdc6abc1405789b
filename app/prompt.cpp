// The two ways of asking the user: the toolkit's dialogs and a scripted queue.
#include "prompt.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

// ---------------------------------------------------------------- QtPrompt

QString QtPrompt::askOpenFile(QWidget *parent, const QString &caption, const QString &dir,
                               const QString &filter) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString QtPrompt::askSaveFile(QWidget *parent, const QString &caption, const QString &dir,
                               const QString &filter) {
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString QtPrompt::askText(QWidget *parent, const QString &title, const QString &label,
                       const QString &preset, bool *ok) {
    return QInputDialog::getText(parent, title, label, QLineEdit::Normal, preset, ok);
}

int QtPrompt::askInteger(QWidget *parent, const QString &title, const QString &label, int value,
                      int min, int max, int step, bool *ok) {
    return QInputDialog::getInt(parent, title, label, value, min, max, step, ok);
}

double QtPrompt::askReal(QWidget *parent, const QString &title, const QString &label, double value,
                      double min, double max, int decimals, bool *ok) {
    return QInputDialog::getDouble(parent, title, label, value, min, max, decimals, ok);
}

QStringList QtPrompt::askForm(QWidget *parent, const QString &heading, const QStringList &labels,
                              const QStringList &presets, bool *ok) {
    QDialog dialog(parent);
    auto *layout = new QFormLayout(&dialog);
    layout->addRow(new QLabel(heading));
    QList<QLineEdit *> edits;
    for (int i = 0; i < labels.size(); ++i) {
        auto *edit = new QLineEdit(presets.value(i));
        layout->addRow(labels[i], edit);
        edits << edit;
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (ok)
        *ok = accepted;
    QStringList texts;
    if (accepted)
        for (QLineEdit *e : edits)
            texts << e->text();
    return texts;
}

void QtPrompt::message(QWidget *parent, const QString &text) {
    QMessageBox box(parent);
    box.setText(text);
    box.exec();
}

void QtPrompt::about(QWidget *parent, const QString &title, const QString &text) {
    QMessageBox::about(parent, title, text);
}

void QtPrompt::note(const QString &title, const QString &text, int msec) {
    auto *box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(title);
    box->setText(text);
    box->setModal(false);
    box->show();
    // The box is the timer's context: closing it by hand first cancels the timer.
    QTimer::singleShot(msec, box, &QMessageBox::close);
}

bool QtPrompt::question(QWidget *parent, const QString &title, const QString &text) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

// ---------------------------------------------------------- ScriptedPrompt

QStringList ScriptedPrompt::texts(Kind kind) const {
    QStringList out;
    for (const Entry &e : log)
        if (e.kind == kind)
            out << e.text;
    return out;
}

QVariant ScriptedPrompt::ask(Kind kind, QWidget *parent, const QString &title,
                             const QString &text, const QVariant &preset) {
    log.append(Entry{kind, title, text, preset, 0, parent != nullptr});
    return answers.isEmpty() ? QVariant() : answers.takeFirst();
}

QString ScriptedPrompt::askOpenFile(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &) {
    return ask(OpenFile, parent, caption, QString(), dir).toString();
}

QString ScriptedPrompt::askSaveFile(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &) {
    return ask(SaveFile, parent, caption, QString(), dir).toString();
}

QString ScriptedPrompt::askText(QWidget *parent, const QString &title, const QString &label,
                             const QString &preset, bool *ok) {
    const QVariant a = ask(Text, parent, title, label, preset);
    if (ok)
        *ok = a.isValid();
    return a.isValid() ? a.toString() : QString();
}

int ScriptedPrompt::askInteger(QWidget *parent, const QString &title, const QString &label,
                            int value, int min, int max, int, bool *ok) {
    const QVariant a = ask(Integer, parent, title, label, value);
    if (ok)
        *ok = a.isValid();
    // Like the dialog, an accepted answer lies within the range.
    return a.isValid() ? qBound(min, a.toInt(), max) : value;
}

double ScriptedPrompt::askReal(QWidget *parent, const QString &title, const QString &label,
                            double value, double min, double max, int, bool *ok) {
    const QVariant a = ask(Real, parent, title, label, value);
    if (ok)
        *ok = a.isValid();
    return a.isValid() ? qBound(min, a.toDouble(), max) : value;
}

QStringList ScriptedPrompt::askForm(QWidget *parent, const QString &heading, const QStringList &labels,
                                    const QStringList &presets, bool *ok) {
    const QVariant a = ask(Form, parent, QString(), heading, presets);
    if (ok)
        *ok = a.isValid();
    if (!a.isValid())
        return QStringList();
    QStringList texts = a.toStringList();
    for (int i = texts.size(); i < labels.size(); ++i)
        texts << presets.value(i);
    return texts.mid(0, labels.size());
}

void ScriptedPrompt::message(QWidget *parent, const QString &text) {
    log.append(Entry{Message, QString(), text, QVariant(), 0, parent != nullptr});
}

bool ScriptedPrompt::question(QWidget *parent, const QString &title, const QString &text) {
    return ask(Question, parent, title, text, QVariant()).toBool();
}

void ScriptedPrompt::about(QWidget *parent, const QString &title, const QString &text) {
    log.append(Entry{About, title, text, QVariant(), 0, parent != nullptr});
}

void ScriptedPrompt::note(const QString &title, const QString &text, int msec) {
    log.append(Entry{Note, title, text, QVariant(), msec, false});
}
