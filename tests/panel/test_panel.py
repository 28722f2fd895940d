"""The browser panel end to end: `portrelay ui` against a simulated Assetto
Corsa and the virtual rig, driven in headless Chromium through Selenium.

Environment: PORTRELAY_BIN (the folder with portrelay, gamesim and the
libraries; CTest sets it), PORTRELAY_PANEL_SCREENSHOT (where the screenshot
goes; default beside the binaries)."""
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import time

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

BIN = os.environ.get("PORTRELAY_BIN", "build/native/bin")
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError(f"not within {seconds} s: {what() if callable(what) else what}")


@pytest.fixture(scope="module")
def panel(tmp_path_factory):
    folder = tmp_path_factory.mktemp("panel")
    profile = folder / "profile.json"
    shutil.copy(os.path.join(SOURCE, "profiles", "car.json"), profile)
    port = free_port()
    process = subprocess.Popen(
        [os.path.join(BIN, "portrelay"), "ui", "--profile", str(profile), "--simulate", "assetto-corsa",
         "--virtual-rig", "--listen", f"127.0.0.1:{port}"],
        cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    url = None
    end = time.monotonic() + 30
    while url is None and time.monotonic() < end:
        line = process.stdout.readline()
        if not line:
            break
        if "the panel is at " in line:
            url = line.split("the panel is at ", 1)[1].strip()
    assert url, "portrelay ui printed no panel address"
    yield {"url": url, "port": port, "token": url.split("token=", 1)[1], "profile": profile, "process": process}
    process.send_signal(signal.SIGTERM)
    try:
        out, _ = process.communicate(timeout=20)
    except subprocess.TimeoutExpired:
        process.kill()
        raise
    assert process.returncode == 0, out


@pytest.fixture(scope="module")
def browser(panel):
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1700"):
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.get(panel["url"])
    yield driver
    driver.quit()


def request(panel, method, path, host=None, origin=None, token=None, body=None):
    connection = http.client.HTTPConnection("127.0.0.1", panel["port"], timeout=5)
    headers = {"Host": host or f"127.0.0.1:{panel['port']}", "Content-Type": "application/json"}
    if origin:
        headers["Origin"] = origin
    if token:
        headers["X-Panel-Token"] = token
    connection.request(method, path, body=json.dumps(body or {}) if method == "POST" else None, headers=headers)
    response = connection.getresponse()
    return response.status, response.read().decode()


def stats(driver):
    return driver.execute_script("return window.panelStats")


def rig(driver):
    last = stats(driver)["last"]
    return last and last["rig"]


def test_refuses_requests_without_token_from_other_origins_or_names(panel):
    own = f"http://127.0.0.1:{panel['port']}"
    park = {"action": "park"}
    assert request(panel, "GET", "/")[0] == 403
    assert request(panel, "GET", "/api/profile")[0] == 403
    assert request(panel, "POST", "/api/action", origin=own, body=park)[0] == 403
    assert request(panel, "POST", "/api/action", origin="http://evil.example", token=panel["token"], body=park)[0] == 403
    assert request(panel, "POST", "/api/action", token=panel["token"], body=park)[0] == 403  # no Origin
    assert request(panel, "GET", "/api/profile", host=f"evil.example:{panel['port']}", token=panel["token"])[0] == 403
    # The right token, origin and name pass (a read, so nothing moves).
    assert request(panel, "GET", "/api/profile", token=panel["token"])[0] == 200


def test_page_loads_and_the_chart_moves(browser):
    wait_for(lambda: stats(browser)["received"] > 20, 15, "live updates")
    first = browser.execute_script("return window.panelChart.file_.slice(-1)[0]")
    before = stats(browser)
    time.sleep(2.0)
    after = stats(browser)
    last = browser.execute_script("return window.panelChart.file_.slice(-1)[0]")
    assert last[0] > first[0] + 1.5, "the chart's time axis did not advance"
    assert last[1:7] != first[1:7], "the axes did not change"
    received = (after["received"] - before["received"]) / 2.0
    rendered = (after["rendered"] - before["rendered"]) / 2.0
    print(f"\npanel: {received:.1f} updates/s received, {rendered:.1f} drawn/s")
    assert received >= 30
    assert "Assetto" in browser.find_element(By.ID, "game").text


def edit_slot(browser, slot, chain):
    browser.find_element(By.CSS_SELECTOR, f"#slots tr[data-slot='{slot}']").click()
    field = browser.find_element(By.ID, "chain")
    field.clear()
    field.send_keys(chain)


def test_bad_chain_shows_its_reason_and_a_good_one_its_responses(browser):
    wait_for(lambda: browser.find_elements(By.CSS_SELECTOR, "#slots tr"), 10, "the slot table")
    edit_slot(browser, 0, "EMALP(VALUE;8")
    verdict = browser.find_element(By.ID, "verdict")
    wait_for(lambda: "bad" in verdict.get_attribute("class") and "character" in verdict.text, 5, "the reason")
    edit_slot(browser, 0, "EMALP(VALUE;8)")
    check = wait_for(lambda: browser.execute_script(
        "const c = window.panelLastCheck; return c && c.filter === 'EMALP(VALUE;8)' && c"), 15,
        lambda: f"the responses ({verdict.text!r}, field {browser.find_element(By.ID, 'chain').get_attribute('value')!r}, "
                f"last {browser.execute_script('return window.panelLastCheck && window.panelLastCheck.filter')!r}, "
                f"console {browser.get_log('browser')!r})")
    assert "good" in verdict.get_attribute("class")
    assert check["linear"] and len(check["frequency"]["gain"]) > 10
    # An 8-cycle low-pass: a step settles to 1, the gain falls with frequency.
    assert abs(check["step"]["y"][-1] - 1.0) < 1e-3
    assert check["frequency"]["gain"][0] > 0.99 and check["frequency"]["gain"][-1] < 0.5
    errors = [e for e in browser.get_log("browser") if e["level"] == "SEVERE" and "favicon" not in e["message"]]
    assert not errors, errors


def apply_chain(browser, slot, chain):
    edit_slot(browser, slot, chain)
    if not browser.find_element(By.ID, "active").is_selected():
        browser.find_element(By.ID, "active").click()
    browser.find_element(By.ID, "apply").click()
    return time.monotonic()


def test_apply_changes_the_rig_frame_park_brings_it_to_neutral_and_save_keeps_it(browser, panel):
    apply_chain(browser, 0, "SETVALUE(VALUE;0)")
    wait_for(lambda: rig(browser) and rig(browser)[0] == 0.0, 10, "sway held at 0")
    time.sleep(0.2)
    clicked = apply_chain(browser, 0, "SETVALUE(VALUE;0.5)")
    wait_for(lambda: rig(browser)[0] > 0.0, 5, "the first frame after the apply")
    print(f"\npanel: apply to the first changed frame at the virtual rig as the page saw it: "
          f"{(time.monotonic() - clicked) * 1000:.0f} ms")
    wait_for(lambda: abs(rig(browser)[0] - 0.5) < 0.01, 10, "sway at 0.5 after the fade")
    screenshot = os.environ.get("PORTRELAY_PANEL_SCREENSHOT", os.path.join(BIN, "panel.png"))
    browser.execute_script("window.scrollTo(0, 0)")
    time.sleep(0.3)
    browser.save_screenshot(screenshot)

    browser.find_element(By.ID, "save").click()
    wait_for(lambda: "0.5" in json.loads(panel["profile"].read_text())["profiles"]["AIR"]["slots"]["0"]["filter"],
             5, "the saved chain")
    saved = json.loads(panel["profile"].read_text())
    assert os.path.exists(str(panel["profile"]) + ".bak")
    assert saved["rig"] == json.loads(open(os.path.join(SOURCE, "profiles", "car.json")).read())["rig"]

    browser.find_element(By.ID, "park").click()
    wait_for(lambda: all(abs(v) < 1e-6 for v in rig(browser)), 6, "every axis at neutral")
    wait_for(lambda: browser.find_element(By.ID, "parkState").text == "PARKED", 3, "PARKED shown")


def test_recording_starts_stops_and_downloads(browser, panel):
    browser.find_element(By.ID, "recordStart").click()
    time.sleep(0.5)
    browser.find_element(By.ID, "recordStop").click()
    link = wait_for(lambda: browser.find_elements(By.CSS_SELECTOR, "#recordings a"), 5, "the download link")[0]
    status, body = request(panel, "GET", link.get_attribute("href").split(str(panel["port"]), 1)[1],
                           token=panel["token"])
    assert status == 200 and body.startswith("time_s,") and body.count("\n") > 50
