import flash.display.Shape;
import flash.display.Stage;
import flash.events.Event;
import flash.external.ExternalInterface;

/**
	The steps of a test movie, run one after another. A test of the player learns the outcome
	twice: from the pagewend_test call, which the player logs, and from the stage's colour, which a
	screenshot shows even when no call gets through. The first failure ends the run, and so does a
	step that throws or outlasts its time: a hang is never silent.
**/
class Steps {
	public static inline var PASSED = 0x00A000;
	public static inline var FAILED = 0xC00000;
	static inline var TIMEOUT_MS = 15000;

	final stage:Stage;
	final queue:Array<{name:String, run:Void->Void}> = [];
	var current = "";
	var timer:haxe.Timer;
	var over = false;

	/** Runs when every step has passed. **/
	public var passed:Void->Void = function() {};

	public function new(stage:Stage) {
		this.stage = stage;
	}

	public function add(name:String, run:Void->Void):Steps {
		queue.push({name: name, run: run});
		return this;
	}

	/** Starts the first step, and afterwards ends the running one with success. **/
	public function next() {
		if (over)
			return;
		if (timer != null)
			timer.stop();
		var step = queue.shift();
		if (step == null) {
			over = true;
			passed();
			return;
		}
		current = step.name;
		timer = haxe.Timer.delay(fail.bind("timeout"), TIMEOUT_MS);
		try
			step.run()
		catch (e:Dynamic)
			fail(Std.string(e));
	}

	public function fail(detail:String) {
		if (over)
			return;
		over = true;
		if (timer != null)
			timer.stop();
		cover(FAILED);
		report("failed", current, detail);
	}

	/** An event handler whose error fails the running step instead of vanishing. **/
	public function guard<T>(handler:T->Void):T->Void {
		return function(event:T) {
			try
				handler(event)
			catch (e:Dynamic)
				fail(Std.string(e));
		};
	}

	public static function report(outcome:String, ?step:String, ?detail:String) {
		try {
			if (step == null)
				ExternalInterface.call("pagewend_test", outcome);
			else
				ExternalInterface.call("pagewend_test", outcome, step, detail);
		} catch (e:Dynamic) {
			// Without ExternalInterface the stage's colour still tells.
		}
	}

	/** Covers the whole stage, above everything, whatever size the stage takes. **/
	function cover(colour:Int) {
		var cover = new Shape();
		function draw(?_) {
			cover.graphics.clear();
			cover.graphics.beginFill(colour);
			cover.graphics.drawRect(0, 0, stage.stageWidth, stage.stageHeight);
		}
		draw();
		stage.addEventListener(Event.RESIZE, draw);
		stage.addChild(cover);
	}
}
