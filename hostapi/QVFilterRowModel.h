#pragma once

#include "HostApiExport.h"
#include "QVFilterRows.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

namespace hostapi {

// Table model over the filter rows of one schema: link, field (by caption; "(" and ")" for a
// parenthesis), filter type and value. The edit role answers and takes the stored codes (link and
// filter type as int, the field name, the value); Choices() lists the codes a column offers. A field
// the schema does not have is shown marked, in red, with the reason as tool tip. An edit the rows
// refuse is shown through the exception display and leaves the row as it was.
class HOSTAPI_EXPORT QVFilterRowModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn : int { colLink = 0, colField = 1, colFilterType = 2, colValue = 3, colCount = 4 };

    explicit QVFilterRowModel(QObject* AParent = nullptr);

    const TQVFilterRows& Rows() const { return FRows; }
    void SetLanguage(const QString& ALangName);

    // Structural changes of the rows (see TQVFilterRows); each resets the model and signals.
    void SetSchemaName(const QString& ASchemaName);
    void Load(const TQVFilterList& AFilters);
    int AddCondition(const QString& AFieldName, TQVFilterType AType, const QVariant& AValue,
                     TQVFilterLink ALink = flAnd);
    void AddParentheses(int AFirst, int ALast);
    void RemoveRows(const QList<int>& ARows);
    void SetChanged(bool AValue);

    // The (display text, code) pairs an editor of the column offers; empty for the value column.
    QList<QPair<QString, QVariant>> Choices(int AColumn) const;

    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation,
                        int ARole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& AIndex) const override;
    bool setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole = Qt::EditRole) override;

signals:
    // The rows changed (an edit or a structural change).
    void FiltersChanged();

private:
    template <class F> void Reset(F&& AChange);

    TQVFilterRows FRows;
};

} // namespace hostapi
