#pragma once

#include <QAbstractItemModelTester>
#include <QStringList>

#include <memory>

class QAbstractItemModel;

// Watches a model with QAbstractItemModelTester for as long as it lives. The
// tester's complaints are collected rather than failing inside the model's own
// code, which would leave the model half-changed; a test checks failures() when
// it is done, typically in cleanup(). The root reporting the flags of an
// ordinary row (drops on the empty area are refused) is not counted.
class ModelWatch
{
public:
    // With fetchMore false the tester leaves fetching rows to the test: it would fetch
    // while a reset is being announced and then report its own fetch as nested.
    explicit ModelWatch(QAbstractItemModel *model, bool fetchMore = true);
    ~ModelWatch();

    ModelWatch(const ModelWatch &) = delete;
    ModelWatch &operator=(const ModelWatch &) = delete;

    // Everything the tester found since the first living watch began.
    static QStringList failures();

private:
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};
