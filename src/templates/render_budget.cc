#include "templates/render_budget.h"

#include "corvane/platform.h"
#include "rules/error_report.h"

namespace corvane {
namespace {

struct BudgetState {
  size_t limit = 0;
  size_t used = 0;
  int open = 0;          // RenderBudget objects alive on this thread
  uint64_t counted = 0;  // everything ever counted on this thread
};

thread_local BudgetState g_budget;

}  // namespace

RenderBudget::RenderBudget() {
  if (g_budget.open++ > 0) return;
  g_budget.limit = TemplateOutputLimit();
  g_budget.used = 0;
}

RenderBudget::~RenderBudget() { --g_budget.open; }

void RenderBudget::Charge(size_t bytes) {
  if (bytes > g_budget.limit - g_budget.used) RaiseOutputLimit(g_budget.limit);
  g_budget.used += bytes;
  g_budget.counted += bytes;
}

void RenderBudget::ChargeCopies(size_t bytes, uint64_t count) {
  if (bytes == 0 || count == 0) return;
  if (count > Room() / bytes) RaiseOutputLimit(g_budget.limit);
  Charge(static_cast<size_t>(bytes * count));
}

size_t RenderBudget::Room() { return g_budget.limit - g_budget.used; }

size_t RenderBudget::Limit() { return g_budget.limit; }

uint64_t RenderedBytes() { return g_budget.counted; }

size_t TemplateOutputLimit() { return Platform().TemplateOutputLimit(); }

void RaiseOutputLimit(size_t limit) {
  Raise(7, "The rendered template exceeds the output limit of " + std::to_string(limit) + " bytes");
}

}  // namespace corvane
