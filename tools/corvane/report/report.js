// Draws the run report from the JSON document that `corvane run --json` prints,
// which the tool puts in the page as a data block. Everything is built with DOM
// calls and textContent, never from markup, so no text of a scenario can become
// markup. Long lists are cut into groups that are built only when opened, and a
// call's details only when the call is opened, so that a report of 10,000
// items opens at once.
(function () {
  "use strict";

  const GROUP = 250; // entries per group of a long list

  // ---- Small helpers -------------------------------------------------------

  // h("p", {class: "x"}, "text", child, [more]) makes an element; null and
  // false children are left out.
  function h(tag, props, ...children) {
    const el = document.createElement(tag);
    if (props) {
      for (const [key, value] of Object.entries(props)) {
        if (value === null || value === undefined || value === false) continue;
        if (key === "class") el.className = value;
        else if (key.startsWith("on")) el.addEventListener(key.slice(2), value);
        else el.setAttribute(key, value === true ? "" : String(value));
      }
    }
    append(el, children);
    return el;
  }

  function append(el, children) {
    for (const child of children) {
      if (child === null || child === undefined || child === false) continue;
      if (Array.isArray(child)) append(el, child);
      else el.append(child instanceof Node ? child : String(child));
    }
  }

  function plural(n, one, many) {
    return n + " " + (n === 1 ? one : many || one + "s");
  }

  function list(value) {
    return Array.isArray(value) ? value : [];
  }

  // A report value as a designer reads it: the text of a variant, else compact JSON.
  function text(value) {
    if (value === null || value === undefined) return "Null";
    if (typeof value === "object" && !Array.isArray(value)) {
      if ("text" in value && typeof value.text === "string") return value.text;
      if ("iso" in value) return value.iso;
    }
    if (typeof value === "string") return value;
    return JSON.stringify(value);
  }

  // A text value without the quotes the report writes around texts.
  function plain(value) {
    if (value && typeof value === "object" && value.type === "String") return String(value.value);
    if (value && typeof value === "object" && (value.type === "Empty" || value.type === "Null")) return "";
    return text(value);
  }

  function ref(x) {
    if (!x || typeof x !== "object") return text(x);
    let s = (x.entity || "item") + " " + x.id;
    if (x.typecode !== undefined) s += " (type " + x.typecode + ")";
    return s;
  }

  function fieldsText(fields) {
    if (!fields || typeof fields !== "object") return "";
    return Object.entries(fields)
      .map(([name, value]) => name + " = " + text(value))
      .join("; ");
  }

  function fromEntry(x) {
    return x.journal_entry ? " (journal entry " + x.journal_entry + ")" : "";
  }

  // ---- Simulated time --------------------------------------------------------

  const DAYS = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"];
  const MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"];

  // "2025-11-04T10:00:00" read as a wall-clock time; no time zone takes part.
  function parseTime(iso) {
    const m = /^(-?\d+)-(\d\d)-(\d\d)(?:T(\d\d):(\d\d)(?::(\d\d))?)?/.exec(iso || "");
    if (!m) return null;
    const [y, mo, d, hh, mi, ss] = [m[1], m[2], m[3], m[4] || 0, m[5] || 0, m[6] || 0].map(Number);
    const date = new Date(0);
    date.setUTCFullYear(y, mo - 1, d);
    date.setUTCHours(hh, mi, ss, 0);
    return { ms: date.getTime(), day: iso.slice(0, 10), date, hh, mi, ss };
  }

  function dayHeading(t) {
    const d = t.date;
    return DAYS[d.getUTCDay()] + " " + d.getUTCDate() + " " + MONTHS[d.getUTCMonth()] + " " + d.getUTCFullYear();
  }

  function clockText(t) {
    const two = (n) => String(n).padStart(2, "0");
    return two(t.hh) + ":" + two(t.mi) + (t.ss ? ":" + two(t.ss) : "");
  }

  function durationText(ms) {
    if (ms <= 0) return "";
    let minutes = Math.round(ms / 60000);
    if (minutes === 0) return Math.round(ms / 1000) + " s";
    const days = Math.floor(minutes / 1440);
    minutes -= days * 1440;
    const hours = Math.floor(minutes / 60);
    minutes -= hours * 60;
    const parts = [];
    if (days) parts.push(plural(days, "day"));
    if (hours) parts.push(hours + " h");
    if (minutes && !days) parts.push(minutes + " min");
    return parts.join(" ");
  }

  // ---- Reading the document ----------------------------------------------------

  // Each call of a report with where it sits: a step's calls in order, or each
  // workflow event's calls.
  function callsOf(report) {
    if (report.workflow && Array.isArray(report.workflow.events)) {
      const out = [];
      for (const event of report.workflow.events) for (const call of list(event.calls)) out.push(call);
      return out;
    }
    return list(report.calls);
  }

  // The timeline's events: the workflow's, or one per call at its clock.
  function eventsOf(report) {
    if (report.workflow && Array.isArray(report.workflow.events))
      return report.workflow.events.map((e, i) => ({
        index: e.index !== undefined ? e.index : i + 1,
        time: e.time,
        kind: e.kind || "event",
        title: e.title || "",
        step: e.step,
        calls: list(e.calls),
        expectations: e.expectations || null,
        workflow: true,
      }));
    return list(report.calls).map((c) => ({
      index: c.index,
      time: c.clock && c.clock.iso,
      kind: "call",
      calls: [c],
      expectations: null,
      workflow: false,
    }));
  }

  function failuresOf(expectations) {
    return expectations ? list(expectations.failures) : [];
  }

  function callFailed(call) {
    return failuresOf(call.expectations).length > 0 || list(call.held_references).length > 0;
  }

  function eventFailed(event) {
    return failuresOf(event.expectations).length > 0 || event.calls.some(callFailed);
  }

  function callName(call) {
    let s = (call.class || "") + "." + (call.method || "");
    s += call.task !== undefined && call.task !== null ? "(task " + call.task + ")" : "()";
    return s;
  }

  function callId(si, call) {
    return "s" + si + "-call-" + call.index;
  }

  // ---- Long lists ---------------------------------------------------------------

  // A list of any length: up to GROUP entries drawn at once. A longer list is
  // cut into pages of GROUP, one shown at a time and each drawn when first
  // shown; a few pages are collapsed groups, many are a pager with a list of
  // ranges to choose from.
  function lazyList(entries, makeContainer, addEntry, noun) {
    const wrap = h("div", { class: "lazy" });
    const page = (start) => {
      const container = makeContainer(start);
      const end = Math.min(start + GROUP, entries.length);
      for (let i = start; i < end; ++i) addEntry(container, entries[i], i);
      return container;
    };
    const range = (start) => (start + 1) + "–" + Math.min(start + GROUP, entries.length) + " of " + entries.length;
    if (entries.length <= GROUP) {
      wrap.append(page(0));
    } else if (entries.length <= 4 * GROUP) {
      for (let start = 0; start < entries.length; start += GROUP) {
        const group = h("details", { class: "group" }, h("summary", null, noun + " " + range(start)));
        buildOnOpen(group, () => page(start));
        if (start === 0) group.open = true;
        wrap.append(group);
      }
    } else {
      wrap.classList.add("paged");
      const select = h("select", { "aria-label": noun + " shown" });
      for (let start = 0; start < entries.length; start += GROUP)
        select.append(h("option", { value: start }, range(start)));
      const shown = h("div", { class: "page" });
      const show = () => {
        shown.textContent = "";
        shown.append(page(Number(select.value)));
      };
      const step = (by) => {
        const next = select.selectedIndex + by;
        if (next < 0 || next >= select.options.length) return;
        select.selectedIndex = next;
        show();
      };
      select.addEventListener("change", show);
      wrap.append(h("div", { class: "pager" },
        h("button", { type: "button", onclick: () => step(-1) }, "‹ Previous"),
        h("label", null, noun + " ", select),
        h("button", { type: "button", onclick: () => step(1) }, "Next ›")), shown);
      show();
    }
    return wrap;
  }

  // Fills a details element the first time it opens.
  function buildOnOpen(details, build) {
    let built = false;
    const fill = () => {
      if (built || !details.open) return;
      built = true;
      append(details, [build()]);
    };
    details.addEventListener("toggle", fill);
    // An element opened before it is in the document (the first group) fills too.
    queueMicrotask(fill);
  }

  function lineList(entries, className, noun, lineClass) {
    return lazyList(entries,
      (start) => h("ol", { class: "lines " + (className || ""), start: start + 1 }),
      (ol, entry, i) => {
        const li = h("li", { value: i + 1 }, typeof entry === "string" ? entry : text(entry));
        if (lineClass) li.className = lineClass(entry);
        ol.append(li);
      }, noun);
  }

  function table(headers, rows) {
    return h("div", { class: "table-wrap" },
      h("table", null,
        h("thead", null, h("tr", null, headers.map((x) => h("th", { scope: "col" }, x)))),
        h("tbody", null, rows)));
  }

  function section(title, ...content) {
    return h("section", null, h("h4", null, title), content);
  }

  // ---- A call's details ---------------------------------------------------------

  function errorBox(error) {
    return h("div", { class: "error-box", role: "note" },
      h("strong", null, "Raised " + error.hex + " (" + error.number + "): " + error.description),
      error.while ? h("p", null, "while " + error.while) : null,
      list(error.chain).length
        ? h("ol", { class: "chain" }, list(error.chain).map((part) => h("li", null, part)))
        : null);
  }

  function decisionBox(decision) {
    const figures = list(decision.figures).map((f) =>
      h("tr", null,
        h("td", null, f.name),
        h("td", { class: "value" }, f.symbol || ""),
        h("td", { class: "value" }, figureText(f.value))));
    return h("div", { class: "decision" },
      h("p", null, h("strong", null, "Decision: " + decision.outcome),
        " (returns " + decision.result + ")"),
      decision.row !== null && decision.row !== undefined
        ? h("p", null, "Row " + decision.row + " of " + decision.class + "'s decision table",
            decision.condition ? [": ", h("span", { class: "condition" }, decision.condition)] : null)
        : h("p", { class: "none" }, "No row of a decision table"),
      figures.length ? table(["Figure", "Symbol", "Value"], figures) : null);
  }

  // A figure as the text report writes it: numbers plain, texts unquoted,
  // dates in ISO form, Null as "not read".
  function figureText(value) {
    if (!value || typeof value !== "object") return text(value);
    if (value.type === "Null") return "not read";
    if (value.type === "Date") return value.iso || value.text;
    if (value.type === "String") return String(value.value);
    if (value.type === "Double") return String(value.value);
    return text(value);
  }

  function expectationList(expectations) {
    const failures = failuresOf(expectations);
    const checked = expectations ? list(expectations.checked) : [];
    const failedKeys = new Set(failures.map((f) => String(f.what).split(/[.[ ]/)[0]));
    const items = [];
    for (const key of checked) {
      if (failedKeys.has(key)) continue;
      items.push(h("li", { class: "expectation passed" }, h("span", { class: "mark" }, "passed"), key));
    }
    for (const f of failures) items.push(failureItem(f));
    if (!items.length) return h("p", { class: "none" }, "No expectations on this call");
    return h("ul", { class: "expectations" }, items);
  }

  function failureItem(f) {
    return h("li", { class: "expectation failed" },
      h("span", { class: "mark" }, "failed"), String(f.what),
      h("span", { class: "expected-actual" }, "expected " + text(f.expected)),
      h("span", { class: "expected-actual" }, "actual   " + text(f.actual)));
  }

  function variablesSection(call) {
    const written = new Set(list(call.variable_writes).map((w) => w.name));
    const parts = [];
    if (list(call.variable_writes).length) {
      parts.push(table(["#", "Owner", "Variable", "Value written"],
        call.variable_writes.map((w, i) =>
          h("tr", null, h("td", null, i + 1), h("td", null, w.owner), h("td", null, w.name),
            h("td", { class: "value" }, text(w.value))))));
    } else {
      parts.push(h("p", { class: "none" }, "No task variable written"));
    }
    if (call.task_variables && Object.keys(call.task_variables).length) {
      parts.push(h("h4", null, "Task variables after the call"));
      if (written.size) parts.push(h("p", { class: "legend" }, h("span", { class: "after" }, "highlighted"), ": written by this call"));
      parts.push(table(["Variable", "Value"],
        Object.entries(call.task_variables).map(([name, value]) =>
          h("tr", { class: written.has(name) ? "changed" : null },
            h("td", null, name), h("td", { class: "value" }, text(value))))));
    }
    return section("Task variables written", parts);
  }

  // The calls the step made, numbered as in the whole journal; by default
  // only its DMS calls, paged among themselves.
  function journalSection(call) {
    const journal = list(call.journal).map((entry, i) => ({ n: i + 1, entry }));
    const dms = journal.filter((x) => String(x.entry.op).startsWith("IDmsService."));
    const box = h("div", { class: "journal" });
    const draw = (onlyDms) => {
      box.textContent = "";
      box.append(lazyList(onlyDms ? dms : journal, (start) => h("ol", { class: "lines" }), (ol, x) => {
        const dmsCall = String(x.entry.op).startsWith("IDmsService.");
        ol.append(h("li", { value: x.n, class: (dmsCall ? "dms-call" : "host-call") + (x.entry.error ? " call-error" : "") },
          x.entry.text));
      }, "Calls"));
    };
    const toggle = h("input", { type: "checkbox", checked: true });
    toggle.addEventListener("change", () => draw(toggle.checked));
    draw(true);
    const title = "Host and DMS calls (" + plural(dms.length, "DMS call") + ", " + journal.length + " in all)";
    return section(title,
      journal.length
        ? [h("label", { class: "journal-controls" }, toggle, "DMS calls only (numbered as in the whole journal)"), box]
        : h("p", { class: "none" }, "The step made no call"));
  }

  function itemTitle(x) {
    return (x.entity || "Item") + " " + x.id + " in database " + x.database;
  }

  // One item's change: each changed field, flag and label, before and after.
  function itemChange(change) {
    const before = change.before || null;
    const rows = [];
    const row = (name, was, now) =>
      rows.push(h("tr", { class: "changed" },
        h("td", null, name), h("td", { class: "value before" }, was), h("td", { class: "value" }, now)));
    if (before && before.exists !== change.exists)
      row("exists", before.exists ? "yes" : "no", change.exists ? "yes" : "no (deleted)");
    for (const [name, c] of Object.entries(change.changed_fields || {}))
      row(name, c.before === null ? "(no such field)" : text(c.before), text(c.after));
    const flagsNow = change.flags || {};
    const flagsBefore = before ? before.flags || {} : null;
    for (const name of new Set([...Object.keys(flagsNow), ...Object.keys(flagsBefore || {})])) {
      const was = flagsBefore ? (name in flagsBefore ? String(flagsBefore[name]) : "not set") : "?";
      const now = name in flagsNow ? String(flagsNow[name]) : "not set";
      if (was !== now) row("flag " + name, was, now);
    }
    const labelsNow = list(change.labels).join(", ");
    if (before && list(before.labels).join(", ") !== labelsNow)
      row("labels", list(before.labels).join(", ") || "none", labelsNow || "none");
    return h("div", { class: "item-change" },
      h("h5", null, itemTitle(change), change.exists === false ? h("span", { class: "item-gone" }, " · gone") : null),
      rows.length ? h("div", { class: "before-after" }, table(["What", "Before", "After"], rows))
        : h("p", { class: "none" }, "Changed, but no field, flag or label differs"));
  }

  function itemsChangedSection(call) {
    const changes = list(call.items_changed);
    return section("DMS items changed (" + changes.length + ")",
      lazyList(changes, () => h("div"), (div, c) => div.append(itemChange(c)), "Items"));
  }

  function messageBlock(m) {
    const props = Object.entries(m.properties || {});
    const body = props.find(([name]) => /body|text|content/i.test(name));
    return h("div", { class: "message" },
      h("strong", null, m.delivery + " message " + m.id), m.delivered ? " · delivered" : " · not delivered",
      list(m.recipients).length
        ? h("p", null, "To: " + list(m.recipients).map((r) => plain(r.name) + " <" + plain(r.email) + ">").join(", "))
        : null,
      h("dl", { class: "kv" }, props.filter((p) => p !== body).map(([name, value]) => [h("dt", null, name), h("dd", null, text(value))])),
      body ? h("pre", { class: "message-body" }, body[1] && typeof body[1] === "object" && "value" in body[1] ? String(body[1].value) : text(body[1])) : null,
      list(m.attachments).length
        ? h("p", null, "Attachments: " + list(m.attachments).map((a) =>
            (plain(a.name) || "unnamed") + (plain(a.contenttype) ? " (" + plain(a.contenttype) + ")" : "")).join(", "))
        : null);
  }

  // The lists of things a call did, each drawn as lines of text.
  const RECORD_LISTS = [
    ["operations", "Records operations", (x) => x.op + " " + ref(x.item) + (x.reason ? " · reason " + text(x.reason) : "") +
      (x.delete_child_items !== undefined ? " · delete child items " + x.delete_child_items : "")],
    ["saves", "Entities saved", (x) => x.op + " " + ref(x.entity) + ": " + fieldsText(x.entity.fields) + fromEntry(x)],
    ["stored", "Records added", (x) => ref(x.entity) + (x.database !== null ? " in database " + x.database : "") + ": " + fieldsText(x.entity.fields) + fromEntry(x)],
    ["comments", "Comments", (x) => "on " + ref(x.item) + ": " + fieldsText(x.entity.fields) + fromEntry(x)],
    ["annotations", "Annotations", (x) => "on " + ref(x.item) + ": " + fieldsText(x.entity.fields) + fromEntry(x)],
    ["aces", "Access entries", (x) => ref(x.principal) + " on " + ref(x.item) + ": " + fieldsText(x.ace.fields) + fromEntry(x)],
    ["labels", "Labels applied", (x) => "\"" + x.name + "\" " + ref(x.label) + " on " + ref(x.item)],
    ["exports", "Exports", (x) => ref(x.item) + " to \"" + x.folder + "\""],
    ["event_log", "Event log", (x) => text(x)],
    ["held_references", "References still held (fail the scenario)", (x) => text(x)],
    ["jobs", "Jobs after the call", (x) => ref(x) + ": " + fieldsText(x.fields)],
    ["directories", "Sandbox directories", (x) => text(x)],
    ["files", "Sandbox files", (x) => text(x)],
  ];

  function callBody(call) {
    const body = h("div", { class: "call-body" });
    const nothing = [];
    if (call.error) body.append(errorBox(call.error));
    if (call.decision) body.append(decisionBox(call.decision));
    body.append(section("Expectations", expectationList(call.expectations)));
    if (list(call.variable_writes).length || (call.task_variables && Object.keys(call.task_variables).length))
      body.append(variablesSection(call));
    else nothing.push("task variables");
    const skipped = list(call.skipped);
    if (skipped.length)
      body.append(section("Errors the step skipped (" + skipped.length + ")",
        lineList(skipped.map((s) => (s.item || s.op) + ": error " + s.error.number + ", " + s.error.description +
          " (" + String(s.error_source).replace(/\r\n/g, " | ") + ") in " + s.op), "", "Errors", () => "call-error")));
    else nothing.push("errors skipped");
    body.append(journalSection(call));
    if (list(call.items_changed).length) body.append(itemsChangedSection(call));
    else nothing.push("DMS items changed");
    const messages = list(call.messages);
    if (messages.length)
      body.append(section("Messages sent (" + messages.length + ")",
        lazyList(messages, () => h("div"), (div, m) => div.append(messageBlock(m)), "Messages")));
    else nothing.push("messages");
    for (const [key, title, line] of RECORD_LISTS) {
      const entries = list(call[key]);
      if (!entries.length) continue;
      body.append(section(title + " (" + entries.length + ")",
        lineList(entries.map(line), "", "Entries", () => (key === "held_references" ? "call-error" : ""))));
    }
    body.append(h("p", { class: "nothing" }, "None in this call: " + nothing.join(", ") + "."));
    return body;
  }

  function badge(textValue, kind) {
    return h("span", { class: "status " + kind }, textValue);
  }

  function callSummaryBadges(call) {
    const failures = failuresOf(call.expectations).length;
    const checked = call.expectations ? list(call.expectations.checked).length : 0;
    const out = [];
    if (failures) out.push(badge(plural(failures, "expectation") + " failed", "failed"));
    else if (checked) out.push(badge(checked + " passed", "passed"));
    if (list(call.held_references).length) out.push(badge("references held", "failed"));
    if (list(call.skipped).length) out.push(badge(list(call.skipped).length + " skipped", "warned"));
    if (list(call.items_changed).length) out.push(badge(plural(list(call.items_changed).length, "item") + " changed", "neutral"));
    if (list(call.messages).length) out.push(badge(plural(list(call.messages).length, "message"), "neutral"));
    if (list(call.stored).length) out.push(badge(plural(list(call.stored).length, "record") + " added", "neutral"));
    return out;
  }

  function callOutcome(call) {
    if (call.error) return h("span", { class: "call-outcome raised" }, "raised " + call.error.hex + " " + call.error.description);
    const parts = [call.result === null || call.result === undefined ? "completed" : "returned " + call.result];
    if (call.decision) parts.push("decided " + call.decision.outcome);
    return h("span", { class: "call-outcome" }, parts.join(" · "));
  }

  function callDetails(si, call) {
    const details = h("details", { class: "call" + (callFailed(call) ? " failed" : ""), id: callId(si, call) },
      h("summary", null,
        h("span", { class: "call-index" }, "call " + call.index),
        h("span", { class: "call-name" }, callName(call)),
        callOutcome(call),
        h("span", { class: "call-badges" }, callSummaryBadges(call))));
    buildOnOpen(details, () => callBody(call));
    return details;
  }

  // ---- The timeline -----------------------------------------------------------------

  const KIND_NAMES = { call: "call", step: "step runs", answer: "answer", clock: "clock", job: "job fires", end: "end" };

  function timeline(si, report) {
    const events = eventsOf(report);
    const ol = h("ol", { class: "timeline" });
    let lastDay = null;
    let lastMs = null;
    for (const event of events) {
      const t = parseTime(event.time);
      if (t && t.day !== lastDay) {
        ol.append(h("li", { class: "day" }, dayHeading(t)));
        lastDay = t.day;
      }
      const gap = t && lastMs !== null ? durationText(t.ms - lastMs) : "";
      if (t) lastMs = t.ms;
      const failed = eventFailed(event);
      const li = h("li", {
        class: "event " + (failed ? "failed" : "passed"),
        "data-kind": event.kind,
        "data-time": event.time || "",
        id: "s" + si + "-event-" + event.index,
      },
        h("div", { class: "event-time" }, t ? clockText(t) : "—", gap ? h("span", { class: "gap" }, "+" + gap) : null),
        h("div", { class: "event-body" },
          event.workflow
            ? h("div", { class: "event-head" },
                h("span", { class: "event-kind" }, KIND_NAMES[event.kind] || event.kind),
                h("span", { class: "event-title" }, event.title),
                event.step ? h("span", { class: "event-step" }, "step " + event.step) : null,
                failed ? badge("failed", "failed") : null)
            : null,
          event.calls.map((call) => callDetails(si, call)),
          event.expectations && (list(event.expectations.checked).length || failuresOf(event.expectations).length)
            ? h("div", { class: "event-expectations" }, h("h4", null, "Expectations after this event"),
                expectationList(event.expectations))
            : null));
      ol.append(li);
    }
    if (!events.length) return h("p", { class: "none" }, "No calls were made");
    return ol;
  }

  // ---- DMS items over the whole run ---------------------------------------------------

  // Each item any call changed, with its state before the first change and
  // after the last, from the calls' items_changed in order.
  function runChanges(report) {
    const byItem = new Map();
    for (const call of callsOf(report)) {
      for (const c of list(call.items_changed)) {
        const key = c.entity + "/" + c.database + "/" + c.id;
        let entry = byItem.get(key);
        if (!entry) {
          entry = { entity: c.entity, database: c.database, id: c.id, before: c.before || null, fields: {}, calls: [] };
          byItem.set(key, entry);
        }
        for (const [name, f] of Object.entries(c.changed_fields || {})) {
          if (!(name in entry.fields)) entry.fields[name] = { before: f.before, after: f.after };
          else entry.fields[name].after = f.after;
        }
        entry.exists = c.exists;
        entry.flags = c.flags;
        entry.labels = c.labels;
        entry.calls.push(call.index);
      }
    }
    return [...byItem.values()].map((e) => ({
      entity: e.entity, database: e.database, id: e.id, exists: e.exists, flags: e.flags, labels: e.labels,
      before: e.before, calls: e.calls,
      changed_fields: Object.fromEntries(Object.entries(e.fields).filter(([, f]) => JSON.stringify(f.before) !== JSON.stringify(f.after))),
    }));
  }

  function itemRow(item) {
    const flags = Object.entries(item.flags || {}).filter(([, on]) => on).map(([name]) => name);
    const details = h("details", { class: "group item" },
      h("summary", null, itemTitle(item) + (item.exists === false ? " · gone" : "") +
        (flags.length ? " · flags " + flags.join(", ") : "") +
        (list(item.labels).length ? " · labels " + item.labels.join(", ") : "")));
    buildOnOpen(details, () =>
      item.fields
        ? table(["Field", "Value", "Data type"], Object.entries(item.fields).map(([name, v]) =>
            h("tr", null, h("td", null, name), h("td", { class: "value" }, text(v)), h("td", null, v.datatype))))
        : h("p", { class: "none" }, "No fields: the item does not exist"));
    return details;
  }

  function itemsSection(report) {
    const calls = callsOf(report);
    const changes = runChanges(report);
    const last = calls.length ? list(calls[calls.length - 1].items) : [];
    let changedDetails;
    if (changes.length) {
      changedDetails = h("details", { class: "group" },
        h("summary", null, plural(changes.length, "item") + " changed during the run, each from before its first change to after its last"));
      buildOnOpen(changedDetails, () => lazyList(changes, () => h("div"), (div, c) => div.append(itemChange(c)), "Items"));
      if (changes.length <= 20) changedDetails.open = true;
    } else {
      changedDetails = h("p", { class: "none" }, "No declared DMS item changed during the run");
    }
    const allDetails = h("details", { class: "group" },
      h("summary", null, "Every declared item after the last call (" + last.length + ")"));
    buildOnOpen(allDetails, () => lazyList(last, () => h("div"), (div, item) => div.append(itemRow(item)), "Items"));
    return h("section", { class: "items", "aria-label": "DMS items" },
      h("h3", null, "DMS items"),
      last.length ? [changedDetails, allDetails] : h("p", { class: "none" }, "The scenario declares no DMS item"));
  }

  // ---- A scenario -------------------------------------------------------------------

  function warningsBox(report) {
    const entries = [...list(report.warnings), ...list(report.findings), ...list(report.checks),
      ...list(report.call_warnings)];
    if (!entries.length) return null;
    return h("div", { class: "attention warnings", role: "region", "aria-label": "Warnings and check findings" },
      h("h3", null, "Warnings and check findings (" + entries.length + ")"),
      h("ul", null, entries.map((w) =>
        h("li", null, w.severity ? h("span", { class: "severity" }, w.severity) : null,
          typeof w === "string" ? w : w.message || JSON.stringify(w)))));
  }

  function failuresBox(si, report) {
    const items = [];
    for (const event of eventsOf(report)) {
      for (const call of event.calls) {
        for (const f of failuresOf(call.expectations))
          items.push(h("li", { class: "expectation failed" },
            h("a", { href: "#" + callId(si, call), "data-open": callId(si, call) }, "Call " + call.index + " " + callName(call)),
            ": " + f.what,
            h("span", { class: "expected-actual" }, "expected " + text(f.expected)),
            h("span", { class: "expected-actual" }, "actual   " + text(f.actual))));
        if (list(call.held_references).length)
          items.push(h("li", { class: "expectation failed" },
            h("a", { href: "#" + callId(si, call), "data-open": callId(si, call) }, "Call " + call.index + " " + callName(call)),
            ": " + plural(call.held_references.length, "reference") + " still held after the call"));
      }
      if (event.workflow)
        for (const f of failuresOf(event.expectations))
          items.push(h("li", { class: "expectation failed" },
            h("a", { href: "#s" + si + "-event-" + event.index }, "Event " + event.index + " " + event.title),
            ": " + f.what,
            h("span", { class: "expected-actual" }, "expected " + text(f.expected)),
            h("span", { class: "expected-actual" }, "actual   " + text(f.actual))));
    }
    const strict = list(report.strict_failures);
    for (const f of strict)
      items.push(h("li", { class: "expectation failed" }, "--strict: " + f));
    if (!items.length) return null;
    const expectations = items.length - strict.length;
    const heading = [expectations ? plural(expectations, "expectation") + " failed" : "",
                     strict.length ? plural(strict.length, "failure") + " under --strict" : ""];
    return h("div", { class: "attention failures", role: "region", "aria-label": "Failed expectations" },
      h("h3", null, heading.filter(Boolean).join("; ")),
      h("ul", { class: "expectations" }, items));
  }

  function workflowSummary(workflow) {
    const s = workflow.summary || {};
    const figures = [
      ["Steps run", s.steps_run],
      ["Decisions", list(s.decisions).length],
      ["Messages", s.messages],
      ["Jobs", s.jobs],
      ["Items changed", s.items_changed],
      ["Elapsed", s.elapsed],
    ].filter(([, v]) => v !== undefined && v !== null);
    const decisions = list(s.decisions);
    return h("section", { class: "workflow-summary", "aria-label": "Workflow summary" },
      h("h3", null, "Workflow summary"),
      h("dl", { class: "summary-grid" }, figures.map(([name, value]) =>
        h("div", null, h("dt", null, name), h("dd", null, String(value))))),
      decisions.length
        ? h("ul", { class: "decisions" }, decisions.map((d) => h("li", null, typeof d === "string" ? d :
            [d.time ? clockAndDay(d.time) + " · " : "", d.step ? "step " + d.step + ": " : "", d.outcome || "",
              d.row !== undefined && d.row !== null ? " (row " + d.row + ")" : "", d.branch ? " → " + d.branch : ""].join(""))))
        : null);
  }

  function clockAndDay(iso) {
    const t = parseTime(iso);
    return t ? dayHeading(t) + " " + clockText(t) : String(iso);
  }

  function scenarioFacts(report) {
    const calls = callsOf(report);
    const times = calls.map((c) => parseTime(c.clock && c.clock.iso)).filter(Boolean);
    const failures = eventsOf(report).reduce((n, e) =>
      n + failuresOf(e.expectations).length + e.calls.reduce((m, c) => m + failuresOf(c.expectations).length, 0), 0);
    const changed = runChanges(report).length;
    const messages = calls.reduce((n, c) => n + list(c.messages).length, 0);
    const facts = [
      [(report.workflow ? plural(eventsOf(report).length, "event") + ", " : "") + plural(calls.length, "call")],
      [plural(failures, "failed expectation")],
      [plural(list(report.warnings).length, "warning")],
      [plural(changed, "item") + " changed"],
      [plural(messages, "message") + " sent"],
    ];
    if (times.length)
      facts.push([clockAndDay(calls[0].clock.iso) +
        (times.length > 1 && times[times.length - 1].ms > times[0].ms
          ? " → " + clockAndDay(calls[calls.length - 1].clock.iso) + " (" + durationText(times[times.length - 1].ms - times[0].ms) + ")"
          : "")]);
    return h("ul", { class: "facts" }, facts.map(([f]) => h("li", null, f)));
  }

  function scenarioSection(report, si) {
    const passed = report.passed === true;
    const head = h("div", { class: "scenario-head" },
      h("div", null,
        h("h2", { id: "s" + si + "-title" }, report.scenario),
        report.class
          ? h("p", { class: "scenario-class" }, (Array.isArray(report.steps)
              ? "Workflow of " + plural(report.steps.length, "step") + ": " +
                report.steps.map((s) => s.name + " (" + s.class.name + ")").join(", ")
              : report.class.name + " (" + report.class.progid + ", resolved by " + report.class.resolved_by + ")") +
              " · locale " + report.locale + " · clock " + (report.clock_fixed ? "fixed by the scenario" : "the real time of the run"))
          : null),
      badge(report.error ? "Could not run" : passed ? "Passed" : "Failed", passed ? "passed" : "failed"));
    const sectionEl = h("section", { class: "scenario", id: "s" + si, "aria-labelledby": "s" + si + "-title", "data-passed": String(passed) }, head);
    if (report.error) {
      sectionEl.append(h("div", { class: "attention error", role: "alert" },
        h("h3", null, "The scenario could not be run"),
        h("p", null, (report.error.place ? "At " + report.error.place + ": " : "") + report.error.message)));
      return sectionEl;
    }
    if (report.description) sectionEl.append(h("p", { class: "description" }, report.description));
    sectionEl.append(scenarioFacts(report));
    append(sectionEl, [warningsBox(report), failuresBox(si, report)]);
    if (report.workflow) sectionEl.append(workflowSummary(report.workflow));
    sectionEl.append(h("h3", null, report.workflow ? "Timeline of events" : "Timeline of calls"));
    sectionEl.append(timeline(si, report));
    sectionEl.append(itemsSection(report));
    return sectionEl;
  }

  // ---- The page ---------------------------------------------------------------------

  function openTarget(id) {
    const el = document.getElementById(id);
    if (!el) return;
    if (el.tagName === "DETAILS") el.open = true;
    el.scrollIntoView({ block: "start" });
    const summary = el.querySelector("summary");
    if (summary) summary.focus({ preventScroll: true });
  }

  function render(doc) {
    const main = document.getElementById("report");
    const scenarios = list(doc.scenarios);
    const passed = scenarios.filter((r) => r.passed === true).length;
    const notRun = scenarios.filter((r) => r.error).length;
    const failed = scenarios.length - passed - notRun;
    const summary = document.getElementById("run-summary");
    summary.textContent = plural(scenarios.length, "scenario") + ": " + passed + " passed, " + failed + " failed" +
      (notRun ? ", " + notRun + " could not run" : "") + " · exit status " + doc.status;
    summary.className = "run-summary";
    document.title = (failed || notRun ? "Failed: " : "Passed: ") +
      (scenarios.length === 1 ? scenarios[0].scenario : plural(scenarios.length, "scenario")) + " · Corvane";
    main.textContent = "";
    scenarios.forEach((report, si) => main.append(scenarioSection(report, si)));
    const modules = [...new Set(scenarios.map((r) => r.module).filter(Boolean))];
    document.getElementById("page-foot").textContent =
      "Made by corvane run --html from the document corvane run --json prints" + (modules.length ? " · module " + modules.join(", ") : "");

    main.addEventListener("click", (e) => {
      const link = e.target.closest("a[data-open]");
      if (!link) return;
      e.preventDefault();
      history.replaceState(null, "", "#" + link.dataset.open);
      openTarget(link.dataset.open);
    });
    document.getElementById("open-all").addEventListener("click", () => {
      for (const d of document.querySelectorAll("details.call")) d.open = true;
    });
    document.getElementById("close-all").addEventListener("click", () => {
      for (const d of document.querySelectorAll("details.call")) d.open = false;
    });
    document.getElementById("only-failed").addEventListener("change", (e) => {
      for (const ev of document.querySelectorAll(".event"))
        ev.classList.toggle("hidden-by-filter", e.target.checked && !ev.classList.contains("failed"));
    });
    if (location.hash.length > 1) openTarget(decodeURIComponent(location.hash.slice(1)));
  }

  try {
    render(JSON.parse(document.getElementById("report-data").textContent));
    document.documentElement.dataset.ready = "true";
  } catch (error) {
    const main = document.getElementById("report");
    main.textContent = "";
    main.append(h("p", { class: "attention error", role: "alert" }, "This report could not be drawn: " + error.message));
    document.documentElement.dataset.ready = "error";
  }
})();
