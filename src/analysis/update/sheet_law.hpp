// What a sheet's own model says of the quantities an inspection measures, for any inputs: the
// carbonation coefficient whose depth k sqrt(t) phenolphthalein shows, or the chloride that a
// core's layer holds at a depth and age. The models' own formulas and error functions, the
// coefficients derived as the models derive them (a test holds each to the model's run, bit for
// bit). The one place of the update that tells the sheets apart.
#pragma once

#include <optional>
#include <variant>

#include "model/model_run.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::update {

// The chloride (kg/m³) at depth x (m) and age tau (a) of one set of inputs.
class ChlorideLaw {
 public:
  struct Constant {
    model::ChlorideConstantInput in;
    model::ChlorideConstantResult r;  // D as the model uses it
  };
  struct Variable {
    model::ChlorideVariableInput in;
    model::ChlorideVariableResult r;  // D and g as the model uses them
  };
  struct Marine {
    model::MarineInput in;
    double D = 0;
  };
  // Chloride admixed at casting: the same content at every depth and age.
  struct Admixed {
    double C0 = 0;
  };

  explicit ChlorideLaw(std::variant<Constant, Variable, Marine, Admixed> law)
      : law_(std::move(law)) {}
  double at(double xM, double tau) const;
  // The surface concentration the law tends to (the most a layer can hold); the stable one on
  // the marine sheet, the larger of it and the one still growing at the stable time.
  double most() const;

 private:
  std::variant<Constant, Variable, Marine, Admixed> law_;
};

// Why a set of inputs has no chloride law.
enum class NoLaw {
  // The measured concentration the coefficient is derived from is not below C_s (the model's
  // inverse error function then gives it no argument, or a coefficient of no number).
  NoInverse,
  NoDiffusion,  // the coefficient derived is not a number above 0
};

class SheetLaw {
 public:
  explicit SheetLaw(const sheet::Module& module);

  // Whether phenolphthalein depths, or the chloride in cores, are something the sheet's model
  // gives.
  bool carbonation() const { return front_ == sheet::FrontLaw::Carbonation; }
  bool chloride() const { return front_ != sheet::FrontLaw::Carbonation; }
  // Whether the chloride enters through the cover (else it was admixed, the same at every
  // depth).
  bool ingress() const { return chloride() && front_ != sheet::FrontLaw::ChlorideAtCasting; }

  // The carbonation coefficient k (mm/a^0.5) the model takes for these inputs (carbonation
  // sheet; 0 where the model finds no carbonation, NaN where it is no number).
  double carbonationCoefficient(const sheet::SheetInputs& in) const;
  // The chloride law of these inputs (chloride sheets).
  std::variant<ChlorideLaw, NoLaw> chlorideLaw(const sheet::SheetInputs& in) const;

 private:
  sheet::FrontLaw front_ = sheet::FrontLaw::Carbonation;
};

}  // namespace pellucor::analysis::update
