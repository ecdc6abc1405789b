// The two ways of asking the user: the toolkit's dialogs and a scripted queue.
#include "prompt.h"

#include <QFileDialog>
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

void ScriptedPrompt::message(QWidget *parent, const QString &text) {
    log.append(Entry{Message, QString(), text, QVariant(), 0, parent != nullptr});
}

void ScriptedPrompt::about(QWidget *parent, const QString &title, const QString &text) {
    log.append(Entry{About, title, text, QVariant(), 0, parent != nullptr});
}

void ScriptedPrompt::note(const QString &title, const QString &text, int msec) {
    log.append(Entry{Note, title, text, QVariant(), msec, false});
}
