#include "modelwatch.h"

namespace {

QStringList collected;
QtMessageHandler previousHandler = nullptr;
int watches = 0;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (qstrcmp(context.category, "qt.modeltest") != 0)
        previousHandler(type, context, text);
    else if (!text.contains(QLatin1String("flags == Qt::ItemIsDropEnabled")))
        collected << text;
}

} // namespace

ModelWatch::ModelWatch(QAbstractItemModel *model, bool fetchMore)
{
    if (watches++ == 0) {
        collected.clear();
        previousHandler = qInstallMessageHandler(collect);
    }
    m_tester = std::make_unique<QAbstractItemModelTester>(
        model, QAbstractItemModelTester::FailureReportingMode::Warning);
    m_tester->setUseFetchMore(fetchMore);
}

ModelWatch::~ModelWatch()
{
    m_tester.reset();
    if (--watches == 0) {
        qInstallMessageHandler(previousHandler);
        collected.clear();
    }
}

QStringList ModelWatch::failures()
{
    return collected;
}
