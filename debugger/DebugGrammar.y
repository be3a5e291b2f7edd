/* The grammar of debugger command lines and watch expressions.
 *
 * An LALR(1) parser with bison's defaults: one token of lookahead read only
 * when needed, actions run when their rule is reduced, stacks of 200 entries
 * that double up to 10000 ("memory exhausted" beyond), and no error recovery:
 * the first "syntax error" ends the parse. Every command's action ends the
 * parse with its result, so a line runs at most one command.
 *
 * Precedence comes from the layering of the expression rules, lowest first:
 * ?:, or, and, |, &, equality, relations, + -, * / %, ^, unary, postfix. The
 * right operand of ^ is a postfix expression, so "2^-1" and "2^sin(x)" are
 * syntax errors while "-2^2" is (-2)^2.
 */

%define api.pure full
%define api.prefix {debugyy}
%define api.token.prefix {TOK_}
%param {void* scanner}
%parse-param {DebugParseContext* ctx}
%expect 0

%code requires {
#include <string>

#include "debugger/DebugCommandLanguage.h"
}

%code {
#include "debugger/DebugSession.h"
#include "vm/VmInstruction.h"

int debugyylex(DEBUGYYSTYPE* value, void* scanner);

static void debugyyerror(void*, DebugParseContext* ctx, const char* message) { DebugParseError(*ctx, message); }

/* Ends the parse with a command's result. */
#define FINISH(r)             \
    do {                      \
        ctx->m_result = (r);  \
        YYACCEPT;             \
    } while (0)
/* An expression error whose message was sent ends the parse. */
#define CHECK(call)           \
    do {                      \
        if (!(call)) YYABORT; \
    } while (0)
}

%union {
    CVmValue* value;
    double number;
    std::string* text;
    int opcode;
}

%destructor { delete $$; } <value> <text>

%token EOL
%token EXIT PAUSE CONTINUE STEP NEXT BACKTRACE
%token BREAK DELETE PRINT FRAME
%token <text> FILE_NAME
%token <number> LINE_NUMBER FRAME_NUMBER
%token <value> IDENTIFIER INTEGER REAL STRING TRUE FALSE
%token AND OR EQ NE LT GT LE GE
%token COS SIN TAN ACOS ASIN ATAN LN LOG ABS SQRT LEN ASIZE MODULUS INT VALTYPE
/* A line end where the scanner's state has no use for it (inside a file
   name, a frame number or a string): no rule takes it. */
%token LINE_BREAK

%type <value> expression conditional or_expr and_expr bit_or bit_and equality relational additive
%type <value> multiplicative power unary postfix primary call array_literal vector_literal number
%type <value> function_call
%type <opcode> function

%%

line
    : commands
    ;

commands
    : command
    | commands command
    ;

command
    : EXIT EOL          { ctx->Session().Stop(); FINISH(kDebugParseResumed); }
    | PAUSE EOL         { ctx->Session().Pause(); FINISH(kDebugParseResumed); }
    | CONTINUE EOL      { ctx->Session().Continue(); FINISH(kDebugParseResumed); }
    | STEP EOL          {
                            ctx->Session().StepInto();
                            ctx->Session().Events()->ResumedByStepInto();
                            FINISH(kDebugParseResumed);
                        }
    | NEXT EOL          {
                            ctx->Session().StepOver();
                            ctx->Session().Events()->ResumedByStepOver();
                            FINISH(kDebugParseResumed);
                        }
    | BACKTRACE EOL     { ctx->Session().SendStackFrames(); FINISH(kDebugParseDone); }
    | FRAME FRAME_NUMBER EOL
                        {
                            if (!ctx->Refused()) ctx->Session().SelectFrame(DebugCommandNumber($2));
                            FINISH(kDebugParseDone);
                        }
    | PRINT expression EOL
                        { ctx->Print($2); FINISH(kDebugParseDone); }
    | BREAK FILE_NAME ':' LINE_NUMBER EOL
                        {
                            ctx->Break(*$2, $4);
                            delete $2;
                            FINISH(kDebugParseDone);
                        }
      /* The delete command's rule wants a second line end, but its action
         ends the parse at the first one. */
    | DELETE FILE_NAME ':' LINE_NUMBER EOL
                        {
                            if (!ctx->Refused()) ctx->Session().RemoveBreakpoint(*$2, DebugCommandNumber($4));
                            delete $2;
                            FINISH(kDebugParseDone);
                        }
    ;

expression
    : conditional
    ;

conditional
    : or_expr
    | or_expr '?' expression ':' conditional    { $$ = ctx->Conditional($1, $3, $5); }
    ;

or_expr
    : and_expr
    | or_expr OR and_expr                       { $$ = ctx->Or($1, $3); }
    ;

and_expr
    : bit_or
    | and_expr AND bit_or                       { $$ = ctx->And($1, $3); }
    ;

bit_or
    : bit_and
    | bit_or '|' bit_and                        { $$ = ctx->Binary(OP_OR, $1, $3); }
    ;

bit_and
    : equality
    | bit_and '&' equality                      { $$ = ctx->Binary(OP_AND, $1, $3); }
    ;

equality
    : relational
    | equality NE relational                    { $$ = ctx->Compare(OP_JUMP_NE, $1, $3); }
    | equality EQ relational                    { $$ = ctx->Compare(OP_JUMP_EQ, $1, $3); }
    ;

relational
    : additive
    | relational GT additive                    { $$ = ctx->Compare(OP_JUMP_GT, $1, $3); }
    | relational LT additive                    { $$ = ctx->Compare(OP_JUMP_LT, $1, $3); }
    | relational GE additive                    { $$ = ctx->Compare(OP_JUMP_GE, $1, $3); }
    | relational LE additive                    { $$ = ctx->Compare(OP_JUMP_LE, $1, $3); }
    ;

additive
    : multiplicative
    | additive '+' multiplicative               { $$ = ctx->Binary(OP_ADD, $1, $3); }
    | additive '-' multiplicative               { $$ = ctx->Binary(OP_SUB, $1, $3); }
    ;

multiplicative
    : power
    | multiplicative '*' power                  { $$ = ctx->Binary(OP_MUL, $1, $3); }
    | multiplicative '/' power                  { $$ = ctx->Binary(OP_DIV, $1, $3); }
    | multiplicative '%' power                  { $$ = ctx->Binary(OP_MOD, $1, $3); }
    ;

power
    : unary
    | power '^' postfix                         { $$ = ctx->Binary(OP_POW, $1, $3); }
    ;

unary
    : postfix
    | '!' unary                                 { $$ = ctx->Unary(OP_NOT, $2); }
    | '-' unary                                 { $$ = ctx->Unary(OP_NEG, $2); }
    | function_call
    ;

postfix
    : primary
    | postfix '[' expression ']'                { CHECK(ctx->Index($1, $3, &$$)); }
    | postfix '.' IDENTIFIER                    { CHECK(ctx->Member($1, $3, &$$)); }
    ;

primary
    : TRUE
    | FALSE
    | STRING
    | number
    | vector_literal
    | array_literal
    | call
    | IDENTIFIER                                { CHECK(ctx->Variable($1, &$$)); }
    | '(' expression ')'                        { $$ = $2; }
    ;

call
    : IDENTIFIER '(' push arguments ')'         { $$ = ctx->Call($1, true); }
    | IDENTIFIER '(' ')'                        { $$ = ctx->Call($1, false); }
    ;

array_literal
    : '{' '}'                                   { $$ = ctx->ArrayLiteral(false); }
    | '{' push arguments '}'                    { $$ = ctx->ArrayLiteral(true); }
    ;

vector_literal
    : '[' ']'                                   { $$ = ctx->VectorLiteral(false); }
    | '[' push arguments ']'                    { $$ = ctx->VectorLiteral(true); }
    ;

/* A new argument list; reduced only once the list has a first argument. */
push
    : %empty                                    { ctx->PushArguments(); }
    ;

arguments
    : expression                                { ctx->AppendArgument($1); }
    | arguments ',' expression                  { ctx->AppendArgument($3); }
    ;

number
    : INTEGER
    | REAL
    ;

function_call
    : function '(' expression ')'               {
                                                    $$ = $1 == OP_ARRAY_RESIZE ? ctx->ArraySize($3)
                                                                               : ctx->Unary($1, $3);
                                                }
    ;

/* The instruction each built-in function runs. ln is the natural logarithm
   and log the base-10 one. asize counts the elements of an array or vector
   (it is marked with the array-resize opcode but runs no instruction). */
function
    : COS       { $$ = OP_COS; }
    | SIN       { $$ = OP_SIN; }
    | TAN       { $$ = OP_TAN; }
    | ACOS      { $$ = OP_ACOS; }
    | ASIN      { $$ = OP_ASIN; }
    | ATAN      { $$ = OP_ATAN; }
    | LN        { $$ = OP_LN; }
    | LOG       { $$ = OP_LOG; }
    | SQRT      { $$ = OP_SQRT; }
    | LEN       { $$ = OP_LEN; }
    | ABS       { $$ = OP_ABS; }
    | ASIZE     { $$ = OP_ARRAY_RESIZE; }
    | MODULUS   { $$ = OP_MODULUS; }
    | INT       { $$ = OP_INT; }
    | VALTYPE   { $$ = OP_TYPE_LETTER; }
    ;

%%
