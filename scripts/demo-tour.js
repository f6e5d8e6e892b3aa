// The tour of scripts/demo --tour, put beside a copy of the wizard page: it
// walks the page through every step against the demo camera "Front door" as
// a user would, and says on the console when a step is on screen
// ("[tour] step NAME"). scripts/demo then takes its picture and drops
// next-NAME.png beside the page, and the tour goes on. Anything that does
// not arrive in time ends the tour with "[tour] fail: ..." and closes the
// program.
"use strict";

(function () {
  var CAMERA = "Front door";
  var PASSWORD = "demo";
  var NEW_PASSWORD = "front-door-2";
  var NETWORK = "HomeNet";
  var NETWORK_KEY = "homenet-passphrase";
  var DNS2 = "192.0.2.53";
  var WAIT_MS = 60000;
  var POLL_MS = 100;

  function $(id) { return document.getElementById(id); }
  function log(text) { console.log("[tour] " + text); }
  function Fail(text) { this.message = text; }
  function sleep(ms) { return new Promise(function (r) { setTimeout(r, ms); }); }
  function idle() { return $("busy").hidden; }
  function visible(step) { return !$("step-" + step).hidden; }
  function message() { return $("message").hidden ? "" : $("message").textContent; }

  async function until(what, cond) {
    for (var waited = 0; waited < WAIT_MS; waited += POLL_MS) {
      if (cond()) return;
      await sleep(POLL_MS);
    }
    throw new Fail("no " + what + " within " + WAIT_MS / 1000 + " s (message: " + message() + ")");
  }

  // An outcome message of the step: "ok" and matching text.
  function okMessage(pattern) {
    return function () { return idle() && $("message").className === "ok" && pattern.test(message()); };
  }

  function click(node, what) {
    if (!node || node.disabled) throw new Fail("cannot press " + what);
    node.click();
  }

  function type(id, text) {
    $(id).value = text;
    $(id).dispatchEvent(new Event("input", { bubbles: true }));
  }

  function next(step) { click(document.querySelector("#step-" + step + " .next"), "Next on " + step); }

  function fileAppears(name) {
    return new Promise(function (resolve, reject) {
      var tries = 0;
      function probe() {
        var img = new Image();
        img.onload = resolve;
        img.onerror = function () {
          if (++tries * POLL_MS >= WAIT_MS) reject(new Fail("no " + name + " from scripts/demo"));
          else setTimeout(probe, POLL_MS);
        };
        img.src = name + "?" + tries;
      }
      probe();
    });
  }

  // Painted, announced, pictured; the step's heading is in the picture.
  async function shown(step) {
    await new Promise(function (r) { requestAnimationFrame(function () { requestAnimationFrame(r); }); });
    var heading = document.querySelector("#step-" + step + " h2").getBoundingClientRect();
    var area = $("content").getBoundingClientRect();
    if (heading.top < area.top || heading.bottom > area.bottom)
      throw new Fail("the heading of the step " + step + " is scrolled out of view (heading " +
                     Math.round(heading.top) + "-" + Math.round(heading.bottom) + ", area " +
                     Math.round(area.top) + "-" + Math.round(area.bottom) + ", scrolled " +
                     $("content").scrollTop + ", focus " + (document.activeElement || {}).id + ")");
    log("step " + step);
    await fileAppears("next-" + step + ".png");
  }

  async function tour() {
    // The page searches by itself when it opens.
    await until("camera " + CAMERA + " in the search", function () {
      return idle() && Array.prototype.some.call(document.querySelectorAll("#camera-list .cam-name"),
                                                 function (n) { return n.textContent === CAMERA; });
    });
    await shown("search");
    var cams = document.querySelectorAll("#camera-list button");
    click(Array.prototype.filter.call(cams, function (b) {
      return b.querySelector(".cam-name").textContent === CAMERA;
    })[0], CAMERA);

    await until("login step", function () { return visible("login"); });
    type("login-password", PASSWORD);
    await shown("login");
    $("login-form").requestSubmit();

    await until("camera information", function () { return idle() && visible("info"); });
    await shown("info");
    next("info");

    // A fixed address that keeps the camera's own, so the live picture
    // finds it again; only the second DNS server is new.
    await until("address step", function () { return visible("address"); });
    if (!$("addr-fixed").checked) click($("addr-fixed"), "Use a fixed address");
    var own = $("info-ip").textContent;
    if ($("addr-ip").value !== own) throw new Fail("the address form does not hold the camera's own address " + own);
    type("addr-dns2", DNS2);
    $("address-form").requestSubmit();
    await until("applied address", okMessage(/took the address settings/));
    await shown("address");
    next("address");

    await until("password step", function () { return visible("password"); });
    type("pw-new", NEW_PASSWORD);
    type("pw-repeat", NEW_PASSWORD);
    $("password-form").requestSubmit();
    await until("changed password", okMessage(/password was changed/));
    await shown("password");
    next("password");

    await until("wireless settings", function () { return idle() && visible("wireless") && $("wl-ssid").value !== ""; });
    click($("survey-btn"), "Scan for networks");
    await until("scanned networks", function () { return idle() && !$("survey-box").hidden; });
    var rows = Array.prototype.filter.call(document.querySelectorAll("#survey-rows tr"), function (tr) {
      return tr.querySelector(".ssid").textContent === NETWORK;
    });
    if (rows.length !== 1) throw new Fail("the scan did not list " + NETWORK);
    click(rows[0].querySelector("button"), "Use " + NETWORK);
    type("wl-wpakey", NETWORK_KEY);
    $("wireless-form").requestSubmit();
    await until("applied wireless settings", okMessage(/took the wireless settings/));
    await shown("wireless");
    next("wireless");

    await until("save step", function () { return visible("save"); });
    if (document.activeElement !== $("save-btn")) throw new Fail("the Save step does not focus Save");
    click($("save-btn"), "Save settings");
    await until("saved settings", okMessage(/settings are saved/));
    await shown("save");
    next("save");

    await until("remote access state", function () { return idle() && visible("remote") && !$("remote-btn").disabled; });
    click($("remote-btn"), "Turn on remote access");
    await until("remote address", okMessage(/Remote access works/));
    await shown("remote");
    next("remote");

    // scripts/demo waits for the moving picture before its picture.
    await until("live step", function () { return visible("live"); });
    await shown("live");
    next("live");

    await until("finish step", function () { return visible("finish"); });
    var summary = $("finish-summary").textContent;
    if (summary !== "The camera is set up and its settings are saved.") throw new Fail("the finish says: " + summary);
    await shown("finish");
    click($("finish-close-btn"), "Close the wizard");
  }

  window.addEventListener("load", function () {
    tour().catch(function (e) {
      log("fail: " + (e instanceof Fail ? e.message : e + " " + (e && e.stack)));
      FinderObj.CloseWizard();
    });
  });
})();
