// The set-up every GUI test shares: a control panel on its own buffer table
// answered by a scripted prompt, HOME in a temporary folder, finders for the
// panel's controls, and small helpers to make, write and inspect images.
#ifndef ZOLTTOOL_TESTS_BUFFERFIXTURE_H
#define ZOLTTOOL_TESTS_BUFFERFIXTURE_H

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "buffertable.h"
#include "mainwindow.h"
#include "prompt.h"
#include "zolt.h"

struct PanelFixture {
    // Makes the panel on the fixture's table; tests may hand in a subclass.
    using MakeWindow = std::function<ZOlttoolMainWindow *(BufferTable *)>;

    QTemporaryDir home;
    std::unique_ptr<BufferTable> table;
    ZOlttoolMainWindow *win = nullptr;  // owned by the table
    ScriptedPrompt *asked = nullptr;    // owned by the window

    explicit PanelFixture(const MakeWindow &make = MakeWindow()) {
        ZoltErrorMode = 8;
        qputenv("HOME", home.path().toLocal8Bit());
        table.reset(new BufferTable(false));
        win = make ? make(table.get()) : new ZOlttoolMainWindow(table.get());
        table->controlPanel = win;
        auto p = std::make_unique<ScriptedPrompt>();
        asked = p.get();
        win->setPrompt(std::move(p));
    }

    QString path(const QString &name) const { return home.filePath(name); }
    QString console() const { return win->findChild<QPlainTextEdit *>()->toPlainText(); }
    // The console text added since `before` was taken.
    QString since(const QString &before) const { return console().mid(before.size()); }

    // Chooser button `slot` of a row ("input1", "input2" or "output").
    QRadioButton *radio(const char *row, int slot) const {
        return win->findChild<QRadioButton *>(QString("%1Radio%2").arg(row).arg(slot));
    }
    // Selects a buffer in a chooser row, as a click does.
    void select(const char *row, int slot) {
        QRadioButton *r = radio(row, slot);
        QVERIFY(r);
        r->click();
    }
    // An operation button or an action by the name of its slot.
    QPushButton *button(const char *slot) const {
        return win->findChild<QPushButton *>(QString(slot) + "Button");
    }
    QAction *actionFor(const char *slot) const { return win->findChild<QAction *>(QString(slot) + "Act"); }
    // An action by its text.
    QAction *action(const QString &text) const {
        for (QAction *a : win->findChildren<QAction *>())
            if (a->text() == text) return a;
        return nullptr;
    }
    QStringList messages() const { return asked->texts(ScriptedPrompt::Message); }
    QStringList notes() const { return asked->texts(ScriptedPrompt::Note); }
};

// A new image of a type with the given lengths (columns first) holding `values`
// in storage order, converted to the type's element (complex: value pairs);
// the rest stays zero.
inline ZoltHeader *makeImage(const char *type, std::initializer_list<int> lengths,
                             const std::vector<double> &values = {}) {
    std::vector<int> dims{static_cast<int>(lengths.size())};
    dims.insert(dims.end(), lengths);
    ZoltHeader *h = Zoltcreate(type, dims.data(), 11, 0);
    if (!h) return nullptr;
    const size_t width = h->dtype == ZOLT_U8 ? 1 : h->dtype == ZOLT_S16 ? 2 : 4;
    const size_t n = std::min(values.size(), Zoltbytes(h) / width);
    for (size_t i = 0; i < n; ++i) {
        const double v = values[i];
        switch (h->dtype) {
            case ZOLT_U8: static_cast<unsigned char *>(h->oltptr)[i] = static_cast<unsigned char>(v); break;
            case ZOLT_S16: static_cast<short *>(h->oltptr)[i] = static_cast<short>(v); break;
            case ZOLT_F32:
            case ZOLT_C32: static_cast<float *>(h->oltptr)[i] = static_cast<float>(v); break;
            default: break;
        }
    }
    return h;
}

// Float values of a "32flt" image in storage order.
inline std::vector<float> floats(const ZoltHeader *h) {
    const float *p = static_cast<const float *>(h->oltptr);
    return std::vector<float>(p, p + Zoltpixels(h));
}

inline bool sameBytes(const ZoltHeader *a, const ZoltHeader *b) {
    return a && b && a->dtype == b->dtype && Zoltbytes(a) == Zoltbytes(b) && Zoltbytes(a) > 0 &&
           std::memcmp(a->oltptr, b->oltptr, Zoltbytes(a)) == 0;
}

inline bool writeText(const QString &name, const QByteArray &text) {
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(text) == text.size();
}

#endif
