#!/usr/bin/env python3
"""Opens the page of `corvane run --html` in headless Chromium, as a designer
would open it from disk, and checks what it shows: the timeline's events, a
call opened to its DMS calls, a failed expectation marked as failed, a changed
field's value before and after, a workflow's events and summary, and a page of
10,000 items that opens and expands. It also checks that the page loads nothing
from anywhere and raises no script error. Screenshots are kept in --artifacts.

Exits 77 (skipped) with a message when Chromium, its driver or Selenium is
missing, unless CORVANE_REQUIRE_BROWSER is set: then that is a failure.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

SKIPPED = 77
ARGS = None


def browser_or_skip():
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    missing = [name for name, found in (("chromium", chromium), ("chromium-driver", driver)) if not found]
    try:
        import selenium  # noqa: F401
    except ImportError:
        missing.append(f"python3-selenium (for {sys.executable})")
    if missing:
        message = ("the HTML report's browser test needs " + ", ".join(missing) +
                   "; scripts/install-deps.sh installs them")
        if os.environ.get("CORVANE_REQUIRE_BROWSER"):
            print("FAILED: " + message + " (CORVANE_REQUIRE_BROWSER is set)")
            sys.exit(1)
        print("SKIPPED: " + message)
        sys.exit(SKIPPED)
    return chromium, driver


def corvane(*args, expect):
    done = subprocess.run([ARGS.corvane, *map(str, args)], capture_output=True, text=True)
    if done.returncode != expect:
        raise AssertionError(f"corvane {' '.join(map(str, args))} exited {done.returncode}, "
                             f"not {expect}:\n{done.stderr[-2000:]}")
    return done.stdout


class ReportPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        chromium, driver_path = browser_or_skip()
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service

        cls.scratch = Path(tempfile.mkdtemp(prefix="corvane-report-test-"))
        cls.artifacts = Path(ARGS.artifacts)
        cls.artifacts.mkdir(parents=True, exist_ok=True)
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", f"--user-data-dir={cls.scratch / 'profile'}",
                     "--window-size=1280,1000"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
        cls.driver = webdriver.Chrome(service=Service(executable_path=driver_path), options=options)
        cls.driver.set_page_load_timeout(600)
        cls.driver.set_script_timeout(600)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    # ---- helpers -------------------------------------------------------------

    def open(self, page: Path):
        self.driver.get_log("performance")  # what earlier pages asked for is not this page's
        self.driver.get_log("browser")
        self.driver.get(page.resolve().as_uri())
        from selenium.webdriver.support.ui import WebDriverWait
        WebDriverWait(self.driver, 600).until(
            lambda d: d.execute_script("return document.documentElement.dataset.ready"))
        self.assertEqual(self.js("return document.documentElement.dataset.ready"), "true",
                         self.js("return document.body.innerText.slice(0, 500)"))

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def css(self, selector, within=None):
        from selenium.webdriver.common.by import By
        return (within or self.driver).find_elements(By.CSS_SELECTOR, selector)

    def open_details(self, details):
        """Opens a details element as a person does, by clicking its summary."""
        summary = self.css(":scope > summary", details)[0]
        self.js("arguments[0].scrollIntoView({block: 'center'})", summary)
        summary.click()
        self.wait_drawn(details)

    def wait_drawn(self, details):
        """Waits for an opened details element to be filled: the page draws it
        on the toggle event, which the browser sends after the click."""
        from selenium.webdriver.support.ui import WebDriverWait
        self.assertIsNotNone(details.get_attribute("open"))
        WebDriverWait(self.driver, 600).until(
            lambda d: d.execute_script("return arguments[0].children.length > 1", details))

    def screenshot(self, name):
        """The whole page (up to 7,000 pixels), drawn from the top so that the
        sticky heading sits where it belongs."""
        import base64
        self.js("window.scrollTo(0, 0)")
        height = min(self.js("return document.documentElement.scrollHeight"), 7000)
        shot = self.driver.execute_cdp_cmd("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": 1280, "height": height, "scale": 1}})
        path = self.artifacts / name
        path.write_bytes(base64.b64decode(shot["data"]))
        print(f"screenshot: {path}")

    def set_colour_scheme(self, scheme):
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                                    {"features": [{"name": "prefers-color-scheme", "value": scheme}]})

    def assert_nothing_loaded_from_outside(self):
        # The requests the page's document made (the browser's own pages make
        # theirs too), the page itself among them.
        page = self.driver.current_url
        requests = []
        for entry in self.driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] == "Network.requestWillBeSent" and message["params"].get("documentURL") == page:
                requests.append(message["params"]["request"]["url"])
        self.assertIn(page, requests)
        outside = [url for url in requests if not url.startswith(("file://", "data:"))]
        self.assertEqual(outside, [], "the page asked for something outside itself")
        self.assertEqual(self.js("return performance.getEntriesByType('resource').map(e => e.name)"), [])
        errors = [e["message"] for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual(errors, [], "the page raised script or security errors")

    def event_times(self):
        return [e.get_attribute("data-time") for e in self.css(".event")]

    # ---- the tests -------------------------------------------------------------

    def test_step_report_shows_timeline_calls_failures_and_changes(self):
        # The approval example with one expectation that cannot hold, and the
        # invoice example, whose calls change fields of two documents.
        approval = json.loads((Path(ARGS.source) / "examples/tasks/approval-of-a-contract.json").read_text())
        approval["calls"][2]["expect"]["variables"]["APPROVED"] = True
        failing = self.scratch / "approval-with-a-wrong-expectation.json"
        failing.write_text(json.dumps(approval))
        invoice = Path(ARGS.source) / "examples/fields/invoice-fields.json"
        page = self.scratch / "step.html"
        document = json.loads(corvane("run", "--json", "--html", page, failing, invoice, expect=1))
        self.open(page)
        self.assert_nothing_loaded_from_outside()

        scenarios = self.css("section.scenario")
        self.assertEqual(len(scenarios), 2)
        self.assertEqual(self.css(".scenario-head .status", scenarios[0])[0].text, "Failed")
        self.assertEqual(self.css(".scenario-head .status", scenarios[1])[0].text, "Passed")

        # The timeline: one event per call at its clock, under a heading per day.
        calls = document["scenarios"][0]["calls"]
        self.assertEqual([e.get_attribute("data-time") for e in self.css(".event", scenarios[0])],
                         [c["clock"]["iso"] for c in calls])
        self.assertEqual([d.text for d in self.css(".day", scenarios[0])],
                         ["TUE 4 NOV 2025", "WED 5 NOV 2025"])

        # The failed expectation: listed at the top, its call marked, and shown
        # as failed inside the call once opened from the list.
        top = self.css(".attention.failures li.expectation.failed", scenarios[0])
        self.assertEqual(len(top), 1)
        self.assertIn("Call 3", top[0].text)
        self.assertIn("APPROVED", top[0].text)
        self.css("a", top[0])[0].click()
        call3 = self.driver.find_element("id", "s0-call-3")
        self.wait_drawn(call3)
        self.assertIn("failed", call3.get_attribute("class"))
        failed_inside = self.css("li.expectation.failed", call3)
        self.assertEqual(len(failed_inside), 1)
        self.assertEqual(self.css(".mark", failed_inside[0])[0].text.lower(), "failed")
        self.assertIn("expected True", failed_inside[0].text)
        self.assertIn("actual False", " ".join(failed_inside[0].text.split()))
        self.assertEqual(len(self.css(".event.failed", scenarios[0])), 1)

        # An opened call lists the step's DMS calls, in order; host calls show
        # when asked for.
        call2 = self.driver.find_element("id", "s0-call-2")
        self.assertEqual(self.css(".call-body", call2), [], "a call's details are built when opened")
        self.open_details(call2)
        self.assertEqual([li.text for li in self.css(".journal li", call2)], calls[1]["dms_calls"])
        self.css(".journal-controls input", call2)[0].click()
        self.assertEqual([li.text for li in self.css(".journal li", call2)],
                         [entry["text"] for entry in calls[1]["journal"]])
        self.screenshot("step-call-open.png")

        # The keyboard opens a call too, and the decision shows its row and figures.
        call5 = self.driver.find_element("id", "s0-call-5")
        summary = self.css(":scope > summary", call5)[0]
        self.js("arguments[0].focus()", summary)
        from selenium.webdriver.common.keys import Keys
        summary.send_keys(Keys.ENTER)
        self.wait_drawn(call5)
        decision = self.css(".decision", call5)[0].text
        self.assertIn("complete approved", decision)
        self.assertIn("Row 3 of DocApproval's decision table", decision)

        # A changed field, before and after.
        invoice_calls = document["scenarios"][1]["calls"]
        changing = next(c for c in invoice_calls if c["items_changed"])
        call = self.driver.find_element("id", f"s1-call-{changing['index']}")
        self.open_details(call)
        change = changing["items_changed"][0]
        field, values = next(iter(change["changed_fields"].items()))
        row = next(r for r in self.css(".item-change tr.changed", call) if r.text.startswith(field))
        self.assertEqual([td.text for td in self.css("td", row)],
                         [field, values["before"]["text"], values["after"]["text"]])

        # Light and dark follow the reader's preference.
        self.js("document.querySelectorAll('details.call').forEach(d => d.open = false)")
        self.set_colour_scheme("light")
        light = self.js("return getComputedStyle(document.body).backgroundColor")
        self.screenshot("step-light.png")
        self.set_colour_scheme("dark")
        dark = self.js("return getComputedStyle(document.body).backgroundColor")
        self.assertNotEqual(light, dark)
        call2.find_element("css selector", ":scope > summary").click()
        self.screenshot("step-dark.png")
        self.set_colour_scheme("light")
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": "print"})
        self.screenshot("step-print.png")
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": "", "features": []})

    def test_workflow_report_shows_its_events_and_summary(self):
        example = json.loads((Path(ARGS.source) / "examples/workflows/contract-approved.json").read_text())
        # One expectation made wrong, so that the page has a failed one to show.
        example["events"][0]["expect"]["step"] = "tell-initiator"
        scenario = self.scratch / "workflow-mistake.json"
        scenario.write_text(json.dumps(example))
        page = self.scratch / "workflow.html"
        corvane("run", "--html", page, scenario, expect=1)
        workflow = json.loads(corvane("run", "--json", scenario, expect=1))["scenarios"][0]["workflow"]
        self.open(page)
        self.assert_nothing_loaded_from_outside()
        events = self.css(".event")
        self.assertEqual([e.get_attribute("data-kind") for e in events], [e["kind"] for e in workflow["events"]])
        self.assertEqual(self.event_times(), [e["time"] for e in workflow["events"]])
        summary = {dt.text: dd.text for dt, dd in zip(self.css(".summary-grid dt"), self.css(".summary-grid dd"))}
        self.assertEqual(summary["Elapsed"], workflow["summary"]["elapsed"])
        self.assertEqual(summary["Steps run"], str(workflow["summary"]["steps_run"]))

        failing = [i for i, e in enumerate(workflow["events"]) if e["expectations"]["failures"]]
        self.assertEqual([i for i, e in enumerate(events) if "failed" in e.get_attribute("class")], failing)
        self.assertEqual(len(self.css(".event-expectations li.expectation.failed", events[failing[0]])), 1)

        with_calls = next(i for i, e in enumerate(workflow["events"]) if e["calls"])
        call = workflow["events"][with_calls]["calls"][0]
        details = self.css("details.call", events[with_calls])[0]
        self.open_details(details)
        self.assertEqual([li.text for li in self.css("li.dms-call", details)], call["dms_calls"])
        self.screenshot("workflow.png")

    def test_ten_thousand_items_open_and_expand(self):
        scenario = self.scratch / "vital-10000.json"
        subprocess.run([sys.executable, Path(ARGS.source) / "scripts/make_vital_scenario.py", "10000", scenario],
                       check=True)
        page = self.scratch / "vital-10000.html"
        started = time.monotonic()
        corvane("run", "--html", page, scenario, expect=0)
        ran = time.monotonic()
        self.open(page)
        shown = time.monotonic()
        print(f"10,000 items: run {ran - started:.1f} s, page {page.stat().st_size / 1e6:.1f} MB "
              f"drawn {shown - ran:.1f} s")

        items = self.css("section.items > details.group")
        self.assertEqual(len(items), 2)
        self.assertIn("10000 items changed", items[0].text)
        self.assertIsNone(items[0].get_attribute("open"), "10,000 changes start collapsed")
        self.assertEqual(self.css(".item", items[1]), [], "the items are built only when opened")
        self.open_details(items[1])
        from selenium.webdriver.support.ui import Select
        pages = Select(self.css(".pager select", items[1])[0])
        self.assertEqual(len(pages.options), 40)
        self.assertEqual(len(self.css(".page details.item", items[1])), 250)
        pages.select_by_index(39)
        last_page = self.css(".page details.item", items[1])
        self.assertEqual(len(last_page), 250)
        self.assertEqual(last_page[-1].text, "Document 10000 in database 7 · flags Vital")

        call = self.css("details.call")[0]
        self.open_details(call)
        self.assertEqual(len(self.css(".journal li.dms-call", call)), 250, "the first page of DMS calls")
        changed = self.css(".item-change", call)
        self.assertEqual(len(changed), 250)
        self.assertIn("flag Vital", changed[0].text)
        print(f"10,000 items: opened in {time.monotonic() - shown:.1f} s")
        self.screenshot("items-10000.png")


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corvane", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--artifacts", required=True, help="where the screenshots are kept")
    ARGS, rest = parser.parse_known_args()
    browser_or_skip()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
