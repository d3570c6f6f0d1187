// vuzizeri-servidor's page in a real Chromium: a person types the token and
// a URL, presses Gravar, sees the job's progress, and plays the video.
//   node page_test.mjs SERVIDOR WORK
import { spawn } from "node:child_process";
import http from "node:http";
import assert from "node:assert/strict";
import { chromium } from "playwright-core";

const [servidor, work] = process.argv.slice(2);
const token = "um-token-de-teste-bem-comprido";

const site = http.createServer((request, response) => {
  response.writeHead(200, { "Content-Type": "text/html" });
  response.end("<!doctype html><body style='margin:0;height:400px;" +
               "background:linear-gradient(#3366cc,#cc6633)'></body>");
});
await new Promise((done) => site.listen(0, "127.0.0.1", done));

const service = spawn(servidor, ["--porta", "0", "--pasta", `${work}/servico`, "--simultaneas", "1",
                                 "--permitir-rede", "127.0.0.1/32"],
                      { env: { ...process.env, VUZIZERI_TOKEN: token } });
const base = await new Promise((found, failed) => {
  let out = "";
  service.stdout.on("data", (chunk) => {
    out += chunk;
    const m = out.match(/http:\/\/0\.0\.0\.0:(\d+)\//);
    if (m) found(`http://127.0.0.1:${m[1]}`);
  });
  service.on("exit", (code) => failed(new Error(`the service ended: ${code}`)));
});

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--autoplay-policy=no-user-gesture-required"],
});
try {
  const page = await browser.newPage();
  await page.goto(base + "/");
  assert.ok(await page.getByLabel("Aparelho").locator("option").count() > 3, "the device list");

  // A wrong token is said so, and nothing is queued.
  await page.getByLabel("Token").fill("errado-errado-errado");
  await page.getByLabel("URL").fill(`http://127.0.0.1:${site.address().port}/`);
  await page.getByRole("button", { name: "Gravar" }).click();
  await page.getByRole("alert").getByText("token").waitFor();

  await page.getByLabel("Token").fill(token);
  await page.getByLabel("Aparelho").selectOption("iphone-se");
  await page.getByRole("button", { name: "Gravar" }).click();
  const row = page.locator("#gravacoes tr").first();
  await row.waitFor();
  await row.locator("td.pronta").waitFor({ timeout: 120_000 });

  // The video plays in the page, and its link downloads it.
  const video = row.locator("video");
  const played = await video.evaluate(async (v) => {
    await v.play();
    await new Promise((done) => {
      const check = () => (v.currentTime > 0.2 ? done() : setTimeout(check, 50));
      check();
    });
    return { width: v.videoWidth, height: v.videoHeight, time: v.currentTime, error: v.error };
  });
  assert.equal(played.error, null);
  assert.ok(played.width > 0 && played.height > played.width, JSON.stringify(played));
  const href = await row.getByRole("link", { name: "Baixar" }).getAttribute("href");
  const download = await fetch(base + href);
  assert.equal(download.status, 200);
  assert.equal(download.headers.get("content-type"), "video/mp4");
  if (process.env.SCREENSHOT) await page.screenshot({ path: process.env.SCREENSHOT, fullPage: true });
  console.log(`the page recorded and played a ${played.width}×${played.height} video`);
} finally {
  await browser.close();
  service.kill("SIGTERM");
  site.close();
}
