// A control panel for the buffer-command tests: its own buffer table, a
// scripted prompt, HOME in a temporary folder, and small helpers to make,
// write and inspect images.
#ifndef ZOLTTOOL_TESTS_BUFFERFIXTURE_H
#define ZOLTTOOL_TESTS_BUFFERFIXTURE_H

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "buffertable.h"
#include "mainwindow.h"
#include "prompt.h"
#include "zolt.h"

struct PanelFixture {
    QTemporaryDir home;
    std::unique_ptr<BufferTable> table;
    ZOlttoolMainWindow *win = nullptr;
    ScriptedPrompt *asked = nullptr;

    PanelFixture() {
        ZoltErrorMode = 8;
        qputenv("HOME", home.path().toLocal8Bit());
        table.reset(new BufferTable(false));
        win = new ZOlttoolMainWindow(table.get());
        table->controlPanel = win;
        auto p = std::make_unique<ScriptedPrompt>();
        asked = p.get();
        win->setPrompt(std::move(p));
    }

    QString path(const QString &name) const { return home.filePath(name); }
    QString console() const { return win->findChild<QPlainTextEdit *>()->toPlainText(); }
    // The console text added since `before` was taken.
    QString since(const QString &before) const { return console().mid(before.size()); }

    // Selects a buffer in a chooser row ("input1", "input2" or "output").
    void select(const char *row, int slot) {
        auto *radio = win->findChild<QRadioButton *>(QString("%1Radio%2").arg(row).arg(slot));
        QVERIFY(radio);
        radio->click();
    }
    QAction *action(const QString &text) const {
        for (QAction *a : win->findChildren<QAction *>())
            if (a->text() == text) return a;
        return nullptr;
    }
    QStringList messages() const { return asked->texts(ScriptedPrompt::Message); }
    QStringList notes() const { return asked->texts(ScriptedPrompt::Note); }
};

// A new image of a type with the given lengths (columns first) holding `values`
// in storage order, converted to the type's element (complex: value pairs).
inline ZoltHeader *makeImage(const char *type, std::initializer_list<int> lengths,
                             const std::vector<double> &values) {
    std::vector<int> dims{static_cast<int>(lengths.size())};
    dims.insert(dims.end(), lengths);
    ZoltHeader *h = Zoltcreate(type, dims.data(), 11, 0);
    if (!h) return nullptr;
    for (size_t i = 0; i < values.size(); ++i) {
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
