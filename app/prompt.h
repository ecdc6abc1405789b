// Everything that asks or tells the user goes through a Prompt: file dialogs,
// text, integer and number input, modal message boxes, the about box and the
// self-closing notes. QtPrompt shows the real dialogs; ScriptedPrompt answers
// from a queue and records every question, so tests never wait on a window.
#ifndef ZOLTTOOL_PROMPT_H
#define ZOLTTOOL_PROMPT_H

#include <QList>
#include <QString>
#include <QVariant>

class QWidget;

class Prompt {
public:
    virtual ~Prompt() = default;

    // File dialogs: the chosen path, or an empty text when cancelled.
    QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                         const QString &filter = QString()) {
        return askOpenFile(parent, caption, dir, filter);
    }
    QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                         const QString &filter = QString()) {
        return askSaveFile(parent, caption, dir, filter);
    }

    // Input dialogs; *ok (when given) tells whether the user accepted. A
    // cancelled text is empty; a cancelled number is the start value.
    QString text(QWidget *parent, const QString &title, const QString &label, const QString &preset,
                 bool *ok = nullptr) {
        return askText(parent, title, label, preset, ok);
    }
    int integer(QWidget *parent, const QString &title, const QString &label, int value, int min,
                int max, int step = 1, bool *ok = nullptr) {
        return askInteger(parent, title, label, value, min, max, step, ok);
    }
    double real(QWidget *parent, const QString &title, const QString &label, double value,
                double min, double max, int decimals, bool *ok = nullptr) {
        return askReal(parent, title, label, value, min, max, decimals, ok);
    }

    // A form: a heading line, then one labelled line edit per label, filled with
    // the matching preset, and Ok/Cancel. The texts as typed, one per label;
    // when cancelled, *ok is false and the list is empty.
    QStringList form(QWidget *parent, const QString &heading, const QStringList &labels,
                     const QStringList &presets, bool *ok = nullptr) {
        return askForm(parent, heading, labels, presets, ok);
    }

    // A modal message box with this text (parent may be null).
    virtual void message(QWidget *parent, const QString &text) = 0;
    // A question answered with Yes or No; true for Yes.
    virtual bool question(QWidget *parent, const QString &title, const QString &text) = 0;
    // The toolkit's about box.
    virtual void about(QWidget *parent, const QString &title, const QString &text) = 0;
    // A message box without parent that shows at once, does not block and
    // closes itself after msec milliseconds.
    virtual void note(const QString &title, const QString &text, int msec) = 0;

protected:
    virtual QString askOpenFile(QWidget *parent, const QString &caption, const QString &dir,
                                const QString &filter) = 0;
    virtual QString askSaveFile(QWidget *parent, const QString &caption, const QString &dir,
                                const QString &filter) = 0;
    virtual QString askText(QWidget *parent, const QString &title, const QString &label,
                            const QString &preset, bool *ok) = 0;
    virtual int askInteger(QWidget *parent, const QString &title, const QString &label, int value,
                           int min, int max, int step, bool *ok) = 0;
    virtual double askReal(QWidget *parent, const QString &title, const QString &label,
                           double value, double min, double max, int decimals, bool *ok) = 0;
    virtual QStringList askForm(QWidget *parent, const QString &heading, const QStringList &labels,
                                const QStringList &presets, bool *ok) = 0;
};

// The real dialogs of the toolkit.
class QtPrompt : public Prompt {
public:
    void message(QWidget *parent, const QString &text) override;
    bool question(QWidget *parent, const QString &title, const QString &text) override;
    void about(QWidget *parent, const QString &title, const QString &text) override;
    void note(const QString &title, const QString &text, int msec) override;

protected:
    QString askOpenFile(QWidget *parent, const QString &caption, const QString &dir,
                        const QString &filter) override;
    QString askSaveFile(QWidget *parent, const QString &caption, const QString &dir,
                        const QString &filter) override;
    QString askText(QWidget *parent, const QString &title, const QString &label,
                    const QString &preset, bool *ok) override;
    int askInteger(QWidget *parent, const QString &title, const QString &label, int value, int min,
                   int max, int step, bool *ok) override;
    double askReal(QWidget *parent, const QString &title, const QString &label, double value,
                   double min, double max, int decimals, bool *ok) override;
    QStringList askForm(QWidget *parent, const QString &heading, const QStringList &labels,
                        const QStringList &presets, bool *ok) override;
};

// Answers from a queue and records everything it was asked or shown. A question
// with no answer queued (or an answer queued with cancel()) is cancelled.
class ScriptedPrompt : public Prompt {
public:
    enum Kind { OpenFile, SaveFile, Text, Integer, Real, Message, About, Note, Form, Question };
    struct Entry {
        Kind kind;
        QString title;   // caption or window title; empty for plain messages
        QString text;    // label, message or note text
        QVariant preset; // start directory, preset text or start value
        int msec;        // notes: how long they stay up
        bool hasParent;
    };

    // Queues the answer for the next question (a path, a text, an int, a double,
    // or for a form a list of texts: rows it leaves out keep their presets).
    // A form is recorded with its heading as text and its presets as preset.
    void answer(const QVariant &value) { answers.append(value); }
    // Queues a cancel for the next question.
    void cancel() { answers.append(QVariant()); }
    int pendingAnswers() const { return answers.size(); }

    QList<Entry> log;
    // Texts of the records of one kind, in order.
    QStringList texts(Kind kind) const;

    void message(QWidget *parent, const QString &text) override;
    // A question takes a queued bool (true: Yes); none queued is No.
    bool question(QWidget *parent, const QString &title, const QString &text) override;
    void about(QWidget *parent, const QString &title, const QString &text) override;
    void note(const QString &title, const QString &text, int msec) override;

protected:
    QString askOpenFile(QWidget *parent, const QString &caption, const QString &dir,
                        const QString &filter) override;
    QString askSaveFile(QWidget *parent, const QString &caption, const QString &dir,
                        const QString &filter) override;
    QString askText(QWidget *parent, const QString &title, const QString &label,
                    const QString &preset, bool *ok) override;
    int askInteger(QWidget *parent, const QString &title, const QString &label, int value, int min,
                   int max, int step, bool *ok) override;
    double askReal(QWidget *parent, const QString &title, const QString &label, double value,
                   double min, double max, int decimals, bool *ok) override;
    QStringList askForm(QWidget *parent, const QString &heading, const QStringList &labels,
                        const QStringList &presets, bool *ok) override;

private:
    // Records a question and hands out the next answer (invalid when cancelled).
    QVariant ask(Kind kind, QWidget *parent, const QString &title, const QString &text,
                 const QVariant &preset);
    QList<QVariant> answers;
};

#endif
