"use strict";
// Polls /status every second. A token is asked for once, when the station answers
// 401, and kept for this tab only. The buttons that change the station show only
// with a token: the station refuses them without one.
const $ = (id) => document.getElementById(id);
let noContact = false;
let tokenRefused = false; // the prompt was cancelled: not asked again until the user says so
const STATES = { "MONITORING": "monitoring", "ALARM": "alarm", "IDLE": "idle", "INPUT LOST": "lost",
  "SUSPENDED": "suspended", "NOT MONITORING (scheduled window)": "lost" };

function width(db) {
  // -60 dBFS and below is an empty bar.
  return db === null ? 0 : Math.max(0, Math.min(100, (db + 60) * 100 / 60));
}

function level(id, db) {
  const w = width(db);
  $(id).style.width = w + "%";
  $(id).style.backgroundSize = (w > 0 ? 10000 / w : 100) + "% 100%"; // colours stay where the scale puts them
  $(id + "db").textContent = db === null ? "\u2212\u221e" : db.toFixed(1) + " dB";
}

function show(s) {
  $("facility").textContent = s.facility || "Dovrane";
  document.title = (s.facility || "Dovrane") + " \u2013 " + s.state;
  $("banner").textContent = s.state;
  $("banner").className = "banner " + (STATES[s.state] || "unknown");
  $("clock").textContent = s.now.replace("T", " ");
  level("left", s.levelDbfs.left);
  level("right", s.levelDbfs.right);
  $("silence").textContent = s.silenceSeconds + " s";
  $("alarms").textContent = s.alarmsTotal;
  $("lastalarm").textContent = s.lastAlarm ? s.lastAlarm.replace("T", " ") : "\u2013";
  $("schedule").textContent = s.schedule.today ? s.schedule.start + " \u2013 " + s.schedule.stop : "off";
  $("log").textContent = s.log.slice().reverse().join("\n"); // newest first
  if (noContact) $("note").textContent = ""; // an action's answer stays
  noContact = false;
  $("suspended").hidden = !s.suspendedUntil;
  $("suspended").textContent = s.suspendedUntil ? "Alarms suspended until " + s.suspendedUntil.slice(11, 16) : "";
  $("actions").hidden = !sessionStorage.getItem("dovraneToken");
  $("ack").hidden = !(s.alarmActive && !s.acknowledged);
  $("suspend").hidden = !!s.suspendedUntil;
  $("resume").hidden = !s.suspendedUntil;
  inputs(s.inputs || []);
}

// One row per named input; every text from a source goes in as text, never as markup.
const INPUT_STATES = { ok: "monitoring", silence: "alarm", down: "lost", fault: "lost",
  idle: "idle", off: "idle" };
function inputs(list) {
  $("inputs").hidden = list.length === 0;
  const rows = list.map((i) => {
    const tr = document.createElement("tr");
    const cell = (text, cls) => {
      const td = document.createElement("td");
      td.textContent = text;
      if (cls) td.className = cls;
      tr.appendChild(td);
      return td;
    };
    const db = (v) => v === null ? "\u2212\u221e" : v.toFixed(1) + " dB";
    cell(i.name);
    cell(i.state === "down" ? "STREAM DOWN" : i.state.toUpperCase(),
      "badge " + (INPUT_STATES[i.state] || "unknown"));
    cell(db(i.levelDbfs.left), "db");
    cell(db(i.levelDbfs.right), "db");
    cell(i.silenceSeconds + " s");
    const about = [i.source, i.description, i.title, i.downReason].filter((t) => t).join(" \u00b7 ");
    cell(about, "about");
    return tr;
  });
  $("inputrows").replaceChildren(...rows);
}

async function act(path) {
  try {
    const reply = await fetch(path, { method: "POST", cache: "no-store",
      headers: { "Authorization": "Bearer " + sessionStorage.getItem("dovraneToken") } });
    $("note").textContent = (await reply.text()).trim();
  } catch (e) {
    $("note").textContent = "The station cannot be reached.";
  }
}

$("askToken").onclick = () => {
  tokenRefused = false;
  $("askToken").hidden = true;
};
$("ack").onclick = () => act("ack");
$("suspend").onclick = () => act("suspend?minutes=30");
$("resume").onclick = () => act("resume");

function lost(text) {
  $("banner").textContent = "NO CONTACT";
  $("banner").className = "banner unknown";
  $("note").textContent = text;
  noContact = true;
}

async function poll() {
  const token = sessionStorage.getItem("dovraneToken");
  try {
    const reply = await fetch("status", { cache: "no-store",
      headers: token ? { "Authorization": "Bearer " + token } : {} });
    if (reply.status === 401) {
      const given = tokenRefused ? null : window.prompt("Token for this station's status:");
      if (given) sessionStorage.setItem("dovraneToken", given.trim());
      else {
        tokenRefused = true;
        sessionStorage.removeItem("dovraneToken");
        lost("A token is needed to see this station.");
        $("askToken").hidden = false;
      }
    } else if (reply.ok) {
      show(await reply.json());
    } else {
      lost("The station answered " + reply.status + ".");
    }
  } catch (e) {
    lost("The station cannot be reached.");
  }
  setTimeout(poll, 1000);
}

poll();
