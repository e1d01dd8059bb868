// Value classes: small counted objects that carry coordinates, boxes,
// frames and colours across the interface, their lists, and the base
// enumerations KTraversal and KAccuracyType.
#pragma once

#include "xsequence.h"

#include <cstdint>

enum KTraversal : int {
    KTRAV_NONE = 0,
    KTRAV_SAME = 1,
    KTRAV_OPPOSITE = 2,
};

enum KAccuracyType : int {
    KACCURACY_RELATIVE = 0,
    KACCURACY_ABSOLUTE = 1,
    KACCURACY_UNDEFINED = 2,
};

ZBASE_API const xrttienum* cipGetRtti_KTraversal();
ZBASE_API const xrttienum* cipGetRtti_KAccuracyType();

// Shell members shared by the value classes: protected default constructor,
// public copying, type queries.
#define KVALUE_SHELL(Class)                                                    \
    XRTTI_DECLARE(Class)                                                       \
public:                                                                        \
    Class(const Class&) = default;                                             \
    Class& operator=(const Class&) = default;                                  \
    ~Class() override = default;                                               \
                                                                               \
protected:                                                                     \
    Class() = default;                                                         \
                                                                               \
public:

class ZBASE_API KPoint3D : public virtual xobject {
    KVALUE_SHELL(KPoint3D)
    // Coordinate i (0..2); other indices raise an index error.
    double Get(int i) const;
    void Set(int i, double value);
    double x() const { return c_[0]; }
    double y() const { return c_[1]; }
    double z() const { return c_[2]; }
    static KPoint3D* create(double x, double y, double z);

private:
    double c_[3] = {0, 0, 0};
};

class ZBASE_API KVector3D : public virtual xobject {
    KVALUE_SHELL(KVector3D)
    double Get(int i) const;
    void Set(int i, double value);
    double x() const { return c_[0]; }
    double y() const { return c_[1]; }
    double z() const { return c_[2]; }
    static KVector3D* create(double x, double y, double z);

private:
    double c_[3] = {0, 0, 0};
};

class ZBASE_API KPointUV : public virtual xobject {
    KVALUE_SHELL(KPointUV)
    double Get(int i) const;
    void Set(int i, double value);
    double u() const { return c_[0]; }
    double v() const { return c_[1]; }
    static KPointUV* create(double u, double v);

private:
    double c_[2] = {0, 0};
};

class ZBASE_API KColorRGB : public virtual xobject {
    KVALUE_SHELL(KColorRGB)
    double Get(int i) const;
    void Set(int i, double value);
    static KColorRGB* create(double r, double g, double b);

private:
    double c_[3] = {0, 0, 0};
};

ZBASE_API xrchandle<KPoint3D> KCreatePoint3D(double x, double y, double z);
ZBASE_API xrchandle<KVector3D> KCreateVector3D(double x, double y, double z);
ZBASE_API xrchandle<KPointUV> KCreatePointUV(double u, double v);
ZBASE_API xrchandle<KColorRGB> KCreateColorRGB(double r, double g, double b);

class ZBASE_API KBox3D : public virtual xobject {
    KVALUE_SHELL(KBox3D)
    // A null corner raises an argument error (1 or 2, code 0).
    static xrchandle<KBox3D> Create(xrchandle<KPoint3D> min, xrchandle<KPoint3D> max);
    xrchandle<KPoint3D> GetMinPoint() const;
    xrchandle<KPoint3D> GetMaxPoint() const;
    const double* Data() const { return d_; }

private:
    double d_[6] = {0, 0, 0, 0, 0, 0};
};

class ZBASE_API KBoxUV : public virtual xobject {
    KVALUE_SHELL(KBoxUV)
    static xrchandle<KBoxUV> Create(xrchandle<KPointUV> min, xrchandle<KPointUV> max);
    xrchandle<KPointUV> GetMinPoint() const;
    xrchandle<KPointUV> GetMaxPoint() const;
    const double* Data() const { return d_; }

private:
    double d_[4] = {0, 0, 0, 0};
};

// Coordinate system: origin, x axis, y axis and z axis (x cross y).
class ZBASE_API KCsys : public virtual xobject {
    KVALUE_SHELL(KCsys)
    static xrchandle<KCsys> Create(xrchandle<KPoint3D> origin, xrchandle<KVector3D> xAxis,
                                   xrchandle<KVector3D> yAxis);
    xrchandle<KPoint3D> GetOrigin() const;
    xrchandle<KVector3D> GetXAxis() const;
    xrchandle<KVector3D> GetYAxis() const;
    xrchandle<KVector3D> GetZAxis() const;
    const double* Data() const { return d_; }

private:
    double d_[12] = {};
};

class ZBASE_API KMatrix3D : public virtual xobject {
    KVALUE_SHELL(KMatrix3D)
private:
    [[maybe_unused]] double m_[16] = {};
};

class ZBASE_API KRay : public virtual xobject {
    KVALUE_SHELL(KRay)
private:
    [[maybe_unused]] double d_[6] = {};
};

class ZBASE_API KSingularity : public virtual xobject {
    KVALUE_SHELL(KSingularity)
private:
    [[maybe_unused]] uint8_t kind_ = 0;
    [[maybe_unused]] double a_ = 0;
    [[maybe_unused]] double b_ = 0;
};

class ZBASE_API KCurveEvalData : public virtual xobject {
    KVALUE_SHELL(KCurveEvalData)
private:
    [[maybe_unused]] double param_ = 0;
    [[maybe_unused]] double d_[9] = {};
};

class ZBASE_API KSurfaceEvalData : public virtual xobject {
    KVALUE_SHELL(KSurfaceEvalData)
private:
    [[maybe_unused]] double uv_[2] = {};
    [[maybe_unused]] double d_[21] = {};
};

class ZBASE_API KFacetVertex : public virtual xobject {
    KVALUE_SHELL(KFacetVertex)
private:
    [[maybe_unused]] double point_[3] = {};
    [[maybe_unused]] int32_t index_ = 0;
    [[maybe_unused]] double normal_[3] = {};
    [[maybe_unused]] double uv_[2] = {};
};

class ZBASE_API KFacetdata : public virtual xobject {
    KVALUE_SHELL(KFacetdata)
private:
    [[maybe_unused]] double normal_[3] = {};
    [[maybe_unused]] int32_t vertices_[3] = {};
    [[maybe_unused]] int32_t neighbours_[3] = {};
};

// A byte buffer that points at bytes it does not own; copies share them.
class ZBASE_API KByteBuffer : public virtual xobject {
    KVALUE_SHELL(KByteBuffer)
    static KByteBuffer* create(unsigned char* bytes, int count);
    unsigned char* GetBuffer() const { return bytes_; }
    int GetCount() const { return count_; }
    void SetCount(int count) { count_ = count; }

private:
    [[maybe_unused]] int32_t reserved_ = 0;
    int32_t count_ = 0;
    unsigned char* bytes_ = nullptr;
};

#undef KVALUE_SHELL

// Lists of values.
#define KVALUE_LIST(List, Element)                                             \
    class ZBASE_API List : public xhandlesequence<Element> {                   \
        XRTTI_DECLARE(List)                                                    \
    public:                                                                    \
        static List* create();                                                 \
    };

KVALUE_LIST(KPoint3DList, KPoint3D)
KVALUE_LIST(KVector3DList, KVector3D)
KVALUE_LIST(KPointUVList, KPointUV)

#undef KVALUE_LIST
