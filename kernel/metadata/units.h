// Length and mass units: a name, a factor to the reference unit (inches,
// pounds) and a type, over one host unit record that the object owns.
// Unit objects never change after construction.
#pragma once

#include "kernel/kpi_impl.h"
#include "api/qel_records.h"

inline namespace zpi_internal {
class KPIUnit_i : public KCommon_i, public virtual KPIUnit {
    ZPI_IMPLEMENTS(KPIUnit)
public:
    xstring GetName() override;
    double GetFactor() override;
    KPIUnitType GetType() override;

    const QelUnitdata& Record() const { return *rec_; }
    // Copy into a caller's block: always 0.
    int CopyRecordTo(QelUnitdata& out) const;
    // A new getmem block holding a copy of the record; the caller releases
    // it with rlsmem. Null when memory runs out.
    QelUnitdata* CopyRecord() const;

    ~KPIUnit_i() override;

protected:
    // A zeroed record of the given type. Raises ThrowSimple(-10) when memory
    // runs out.
    explicit KPIUnit_i(KPIUnitType type);
    // Name (cut to 31 UTF-16 units on a character boundary) and factor.
    void Fill(const char* name, double factor);
    // Name and factor of a stored record, as they are.
    void Fill(const QelUnitdata& rec);

    QelUnitdata* rec_ = nullptr;
};

class KPILengthUnit_i : public KPIUnit_i, public virtual KPILengthUnit {
    ZPI_IMPLEMENTS(KPILengthUnit)
public:
    // Name and factor from the table; a value outside it leaves an empty
    // name and factor 0.
    explicit KPILengthUnit_i(KPILengthUnits unit);
    // Any name (null counts as empty) and factor, stored unchanged.
    KPILengthUnit_i(const char* name, double factor);
    // Name and factor of a stored record.
    explicit KPILengthUnit_i(const QelUnitdata& rec);
};

class KPIMassUnit_i : public KPIUnit_i, public virtual KPIMassUnit {
    ZPI_IMPLEMENTS(KPIMassUnit)
public:
    explicit KPIMassUnit_i(KPIMassUnits unit);
    KPIMassUnit_i(const char* name, double factor);
    explicit KPIMassUnit_i(const QelUnitdata& rec);
};
} // namespace zpi_internal

// Table rows, for readers that map names back to enumeration values.
struct KPIUnitTableRow {
    int value;
    const char* name;
    double factor;
};
// The row of a value, or null for a value outside the table.
const KPIUnitTableRow* KPILengthUnitRow(int value);
const KPIUnitTableRow* KPIMassUnitRow(int value);
