// First screen of a record-set grid over a 10 000-row SQLite table: the time from the refresh (one
// SELECT of every row) until the grid has painted its visible rows, and the time of a second refresh.

#include "Database.h"
#include "QVDBGrid.h"
#include "QVRecordSet.h"
#include "QVRecordSetModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

namespace {

void AddAttachments(int ACount) {
    hostapi::Transaction transaction;
    const qint64 templateId = hostapi::Database::InsertRow("emtemplates", {"name"}, {QStringLiteral("Vorlage")});
    for (int i = 0; i < ACount; ++i)
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO emlattachements (emltemplateid, filename, filesource, usemacros, isinline, "
                           "fileoptions) VALUES (?, ?, ?, ?, ?, ?)"),
            {templateId, QStringLiteral("Rechnung-%1.pdf").arg(i),
             QStringLiteral("/srv/rechnungen/2024/Rechnung-%1.pdf").arg(i), 1 + i % 2, i % 2, i % 2});
    transaction.Commit();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = 10000;
    const int runs = 5;
    try {
        QTemporaryDir dir;
        hostapi::DatabaseConfig config;
        config.SqlitePath = dir.filePath("bench.sqlite");
        hostapi::Database::Open(config);
        AddAttachments(rows);

        std::vector<double> first, again;
        for (int run = 0; run < runs; ++run) {
            hostapi::TQVRecordSet rs("emlattachements");
            hostapi::QVRecordSetModel model(&rs);
            model.SetColumns({{"filename", {}, false},
                              {"filesource", {}, true},
                              {"usemacros", {}, false},
                              {"isinline", {}, false},
                              {"fileoptions", {}, false}});
            hostapi::QVDBGrid grid;
            grid.SetRecordSetModel(&model);
            grid.SetMultiSelect(true);
            grid.resize(1024, 768);
            grid.show();
            QApplication::processEvents();

            QElapsedTimer timer;
            timer.start();
            model.Refresh();
            grid.repaint();
            first.push_back(timer.nsecsElapsed() / 1e6);
            if (model.rowCount() != rows)
                throw std::runtime_error("wrong row count");

            timer.restart();
            model.Refresh();
            grid.repaint();
            again.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("first screen of %d rows: median %.1f ms (min %.1f, max %.1f) over %d runs\n", rows,
                    Median(first), *std::min_element(first.begin(), first.end()),
                    *std::max_element(first.begin(), first.end()), runs);
        std::printf("refresh and repaint:      median %.1f ms\n", Median(again));
        hostapi::Database::Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_record_set_grid: %s\n", e.what());
        return 1;
    }
    return 0;
}
