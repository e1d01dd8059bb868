#include "kernel/metadata/units.h"

#include "xmemory.h"
#include "kernel/metadata/record_alloc.h"
#include "kernel/records/wide_name.h"

#include <cstring>
#include <iterator>

namespace {

// Factors to inches and to pounds, as the host keeps them.
constexpr KPIUnitTableRow kLengthRows[] = {
    {KPI_LENGTH_UNIT_MM, "MM", 0.03937007874015748},
    {KPI_LENGTH_UNIT_CM, "CM", 0.3937007874015748},
    {KPI_LENGTH_UNIT_MIL, "MIL", 0.001},
    {KPI_LENGTH_UNIT_M, "M", 39.37007874015748},
    {KPI_LENGTH_UNIT_IN, "INCH", 1.0},
    {KPI_LENGTH_UNIT_FT, "FOOT", 12.0},
    {KPI_LENGTH_UNIT_MICROMETER, "MICROMETER", 3.937007874015748e-05},
};

constexpr KPIUnitTableRow kMassRows[] = {
    {KPI_MASS_UNIT_MG, "MG", 2.204634140964307e-06},
    {KPI_MASS_UNIT_G, "GRAM", 0.002204634140964307},
    {KPI_MASS_UNIT_KG, "KILOGRAM", 2.204634140964307},
    {KPI_MASS_UNIT_TONNE, "TONNE", 2204.634140964307},
    {KPI_MASS_UNIT_OUNCE, "OUNCE", 0.0625},
    {KPI_MASS_UNIT_SLUG, "SLUG", 32.174048556430414},
    {KPI_MASS_UNIT_TON, "TON", 2000.0},
};

template <size_t N> const KPIUnitTableRow* findRow(const KPIUnitTableRow (&rows)[N], int value) {
    for (const KPIUnitTableRow& row : rows)
        if (row.value == value)
            return &row;
    return nullptr;
}

} // namespace

const KPIUnitTableRow* KPILengthUnitRow(int value) { return findRow(kLengthRows, value); }
const KPIUnitTableRow* KPIMassUnitRow(int value) { return findRow(kMassRows, value); }

KPIUnit_i::KPIUnit_i(KPIUnitType type) : rec_(krec::newRecord<QelUnitdata>()) {
    rec_->type = uint32_t(type);
}

KPIUnit_i::~KPIUnit_i() {
    if (rec_)
        rlsmem(rec_);
}

void KPIUnit_i::Fill(const char* name, double factor) {
    kname::Write(rec_->name, QEL_NAME_LEN, name);
    rec_->factor = factor;
}

void KPIUnit_i::Fill(const QelUnitdata& rec) {
    std::memcpy(rec_->name, rec.name, sizeof(rec_->name));
    rec_->factor = rec.factor;
}

xstring KPIUnit_i::GetName() { return kname::ToXstring(rec_->name, QEL_NAME_LEN); }
double KPIUnit_i::GetFactor() { return rec_->factor; }
KPIUnitType KPIUnit_i::GetType() { return KPIUnitType(rec_->type); }

int KPIUnit_i::CopyRecordTo(QelUnitdata& out) const {
    std::memcpy(&out, rec_, sizeof(out));
    return QEL_OK;
}

QelUnitdata* KPIUnit_i::CopyRecord() const { return krec::plainCopy(rec_); }

KPILengthUnit_i::KPILengthUnit_i(KPILengthUnits unit) : KPIUnit_i(KPI_LENGTH) {
    if (const KPIUnitTableRow* row = KPILengthUnitRow(unit))
        Fill(row->name, row->factor);
}

KPILengthUnit_i::KPILengthUnit_i(const char* name, double factor) : KPIUnit_i(KPI_LENGTH) {
    Fill(name, factor);
}

KPILengthUnit_i::KPILengthUnit_i(const QelUnitdata& rec) : KPIUnit_i(KPI_LENGTH) { Fill(rec); }

KPIMassUnit_i::KPIMassUnit_i(KPIMassUnits unit) : KPIUnit_i(KPI_MASS) {
    if (const KPIUnitTableRow* row = KPIMassUnitRow(unit))
        Fill(row->name, row->factor);
}

KPIMassUnit_i::KPIMassUnit_i(const char* name, double factor) : KPIUnit_i(KPI_MASS) {
    Fill(name, factor);
}

KPIMassUnit_i::KPIMassUnit_i(const QelUnitdata& rec) : KPIUnit_i(KPI_MASS) { Fill(rec); }
