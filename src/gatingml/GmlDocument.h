#pragma once
// A Gating-ML 2.0 document read into a validated gate tree: transformations,
// spectrum matrices and gates, every reference resolved and checked. Reading
// either gives a complete document or throws; nothing half-built is returned.
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "GmlError.h"
#include "GmlTransform.h"

namespace orvala {

// The compensation references with a fixed meaning.
inline constexpr const char* kGmlUncompensated = "uncompensated";
inline constexpr const char* kGmlFcsCompensation = "FCS";

// One axis of a gate or quadrant divider: a parameter of the data (or the ratio
// of two), compensated as compensation says, then transformed.
struct GmlDimension {
    std::string compensation = kGmlUncompensated;  // "uncompensated", "FCS" or a spectrumMatrix id
    std::string transformation;                    // id of a single-dimension transform; "" for none
    std::string name;                              // fcs-dimension name; "" for a ratio
    std::string ratio;                             // id of the fratio transform of a new-dimension
    bool operator==(const GmlDimension&) const = default;
};

// A spectrum (compensation) matrix: row r is fluorochrome r's signal in each detector.
// With invertedAlready the coefficients are the matrix that takes detector values
// to fluorochrome values, one row per detector.
struct GmlSpectrumMatrix {
    std::string id;
    std::vector<std::string> fluorochromes, detectors;
    std::vector<double> coefficients;  // row-major
    bool invertedAlready = false;
};

enum class GmlGateKind { Rectangle, Polygon, Ellipsoid, Quadrant, Boolean };
enum class GmlBooleanOp { And, Or, Not };

struct GmlOperand {
    std::string ref;
    bool complement = false;  // use-as-complement
};

struct GmlGate {
    std::string id;
    std::string parentId;  // "" for a gate on all events
    GmlGateKind kind = GmlGateKind::Rectangle;
    std::vector<GmlDimension> dimensions;
    // Rectangle and quadrant: min <= x < max on each dimension; open ends are infinite.
    std::vector<double> min, max;
    // Polygon: vertices as x0, y0, x1, y1 ...
    std::vector<double> vertices;
    // Ellipsoid: (x - mean)' inverse(covariance) (x - mean) <= distanceSquare.
    std::vector<double> mean, covariance;  // covariance row-major n x n
    double distanceSquare = 0;
    // Boolean.
    GmlBooleanOp op = GmlBooleanOp::And;
    std::vector<GmlOperand> operands;
    // Quadrant: the QuadrantGate the quadrant belongs to.
    std::string quadrantGateId;
};

class GmlDocument {
public:
    std::vector<GmlTransform> transforms;
    std::vector<GmlSpectrumMatrix> matrices;
    std::vector<GmlGate> gates;  // in document order; each quadrant is one gate

    const GmlGate* FindGate(const std::string& id) const;
    const GmlTransform* FindTransform(const std::string& id) const;
    const GmlSpectrumMatrix* FindMatrix(const std::string& id) const;
    // Indices into gates such that every gate comes after its parent and operands.
    const std::vector<int>& EvaluationOrder() const { return order_; }

    // Checks every reference and computes the evaluation order; throws GmlError
    // for unknown references, cycles and inconsistent gates. The parser calls it;
    // code that builds a document by hand calls it before use.
    void Validate();

private:
    std::vector<int> order_;
};

// Reads a document from its XML text; source names it in messages.
GmlDocument ParseGatingMl(std::string_view xml, const std::string& source);
// Reads a document from a file; throws GmlError naming the file when it cannot be read.
GmlDocument ReadGatingMlFile(const std::string& path);

}  // namespace orvala
